#include "widget_fixture.h"

#include "ui/icons.h"
#include "ui/process_icon.h"
#include "ui/theme.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Lets go of whoever waits to read one of `fifos`, should anyone still wait
// long after it began, and counts how often it had to: a lookup that blocks
// on a FIFO fails its test instead of hanging it.
class FifoWatchdog {
public:
    explicit FifoWatchdog(std::vector<QString> fifos)
        : fifos_(std::move(fifos)), thread_([this] { watch(); })
    {
    }
    ~FifoWatchdog() { finish(); }

    // Ends the watch; how many times a reader had to be let go.
    int finish()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        return releases_;
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(20), [this] { return done_; }))
            return;
        while (!done_) {
            // An open for reading and writing never waits, and its writer
            // side ends a reader's wait; closed again, the reader meets the
            // end of the file.
            for (const QString& fifo : fifos_) {
                const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
            }
            ++releases_;
            wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; });
        }
    }

    std::vector<QString> fifos_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    int releases_ = 0;
    std::thread thread_;
};

// A data dir laid out as the XDG rules want: an icon theme, a pixmaps
// folder and the desktop entries that name them.
class IconsTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        ASSERT_TRUE(data.isValid());
        savedDirs = qgetenv("XDG_DATA_DIRS");
        savedHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_DIRS", data.path().toUtf8());
        qputenv("XDG_DATA_HOME", data.filePath(QStringLiteral("home")).toUtf8());

        write(QStringLiteral("icons/hicolor/index.theme"),
              "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps,48x48/apps\n\n"
              "[16x16/apps]\nSize=16\nContext=Applications\nType=Threshold\n\n"
              "[48x48/apps]\nSize=48\nContext=Applications\nType=Threshold\n");
        image(QStringLiteral("icons/hicolor/48x48/apps/tavrin-red.png"), 48, Qt::red);
        image(QStringLiteral("icons/hicolor/16x16/apps/tavrin-tiny.png"), 16, Qt::green);
        image(QStringLiteral("pixmaps/tavrin-legacy.png"), 32, Qt::blue);
        image(QStringLiteral("elsewhere/own.png"), 40, Qt::yellow);
        // An export dir outside $XDG_DATA_DIRS, as Flatpak's can be.
        image(QStringLiteral("exports/share/icons/hicolor/48x48/apps/tavrin-export.png"), 48,
              Qt::cyan);
    }

    void TearDown() override
    {
        qputenv("XDG_DATA_DIRS", savedDirs);
        qputenv("XDG_DATA_HOME", savedHome);
        WidgetTest::TearDown();
    }

    void write(const QString& relative, const QByteArray& text)
    {
        const QString path = data.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    void image(const QString& relative, int edge, QColor colour)
    {
        const QString path = data.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QImage img(edge, edge, QImage::Format_ARGB32);
        img.fill(colour);
        ASSERT_TRUE(img.save(path));
    }

    // A desktop entry naming `icon`; its path is the bundle path.
    QString entry(const QString& id, const QString& icon,
                  const QString& dir = QStringLiteral("applications/"))
    {
        const QString relative = dir + id + QStringLiteral(".desktop");
        write(relative, "[Desktop Entry]\nType=Application\nName=" + id.toUtf8()
                            + "\nExec=/opt/" + id.toUtf8() + "/run\nIcon=" + icon.toUtf8() + "\n");
        return data.filePath(relative);
    }

    QString fifo(const QString& relative)
    {
        const QString path = data.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
        return path;
    }

    // A bundle laid out as programs ship them: X.app/Contents/share holding
    // its entry and its hicolor icons.
    QString bundle(const QString& name, const QString& icon)
    {
        const QString root = QStringLiteral("bundles/") + name + QStringLiteral(".app");
        entry(name, icon, root + QStringLiteral("/Contents/share/applications/"));
        return data.filePath(root);
    }

    static QByteArray png(QColor colour)
    {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "PNG");
        return bytes;
    }

    // Whether any pixel of the icon drawn at 36 × 36 is `colour`.
    static bool shows(const QIcon& icon, QColor colour)
    {
        const QImage img = icon.pixmap(QSize(Icons::iconSize, Icons::iconSize)).toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == colour)
                    return true;
        return false;
    }

    static QColor at(const QIcon& icon, int x, int y, int edge = Icons::iconSize)
    {
        return icon.pixmap(QSize(edge, edge)).toImage().pixelColor(x, y);
    }

    QTemporaryDir data;
    QByteArray savedDirs, savedHome;
};

} // namespace

TEST(IconsLetter, FirstLetterOrDigitUpperCased)
{
    EXPECT_EQ(Icons::letter(u"_kernel_task"), QStringLiteral("K"));
    EXPECT_EQ(Icons::letter(u"1password"), QStringLiteral("1"));
    EXPECT_EQ(Icons::letter(u""), QStringLiteral("·"));
    EXPECT_EQ(Icons::letter(u"---"), QStringLiteral("·"));
    EXPECT_EQ(Icons::letter(u"ß"), QStringLiteral("SS"));
    EXPECT_EQ(Icons::letter(u"微信"), QStringLiteral("微"));
    EXPECT_EQ(Icons::letter(u"🙂 zoom"), QStringLiteral("Z"));
    // A letter keeps its combining accent, but not a mark that encloses it:
    // no tile holds its ring.
    EXPECT_EQ(Icons::letter(u"e\u0301cole"), QStringLiteral("E\u0301"));
    EXPECT_EQ(Icons::letter(u"w\u20DD\u20DD\u0301\u20DE"), QStringLiteral("W\u0301"));
}

TEST_F(IconsTest, StackedMarksStayOnTheLetterTile)
{
    // A letter with forty marks above and below it.
    QString zalgo = QStringLiteral("Z");
    for (int i = 0; i < 20; ++i)
        zalgo += QString(QChar(0x0301)) + QChar(0x0323);
    const QString letter = Icons::letter(zalgo);
    ASSERT_GT(letter.size(), 30);

    QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    ProcessIcon::paint(p, QRectF(21, 21, 18, 18), 18, letter, std::nullopt);
    p.end();
    const QRect tile(20, 20, 20, 20); // the tile and its smoothed edge
    int outside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            outside += !tile.contains(x, y) && qAlpha(image.pixel(x, y)) > 0;
    EXPECT_EQ(outside, 0);

    // The monogram's tile is 14 high in its 18 × 18 square.
    const QImage monogram = Icons::monogram(zalgo).pixmap(18, 18).toImage();
    for (int x = 0; x < monogram.width(); ++x) {
        EXPECT_EQ(qAlpha(monogram.pixel(x, 0)), 0) << x;
        EXPECT_EQ(qAlpha(monogram.pixel(x, monogram.height() - 1)), 0) << x;
    }
}

TEST_F(IconsTest, MonogramIsSharedPerLetter)
{
    const QIcon s = Icons::monogram(u"safari");
    EXPECT_EQ(s.cacheKey(), Icons::monogram(u"Slack").cacheKey());
    EXPECT_NE(s.cacheKey(), Icons::monogram(u"zoom").cacheKey());

    // A 17 × 14 tile in the 18 × 18 square: clear above and below it.
    const QImage img = s.pixmap(QSize(Icons::monogramSize, Icons::monogramSize)).toImage();
    ASSERT_EQ(img.size(), QSize(18, 18));
    EXPECT_EQ(img.pixelColor(9, 0).alpha(), 0);
    EXPECT_EQ(img.pixelColor(9, 17).alpha(), 0);
    EXPECT_EQ(img.pixelColor(3, 4), Theme::raised());
}

TEST_F(IconsTest, EntryIconsResolveThroughTheDataDirs)
{
    const QIcon themed = Icons::icon(entry(QStringLiteral("red"), QStringLiteral("tavrin-red")));
    EXPECT_EQ(at(themed, 18, 18), QColor(Qt::red));
    // A small theme icon fills the whole square.
    const QIcon tiny = Icons::icon(entry(QStringLiteral("tiny"), QStringLiteral("tavrin-tiny.png")));
    EXPECT_EQ(at(tiny, 1, 1), QColor(Qt::green));
    EXPECT_EQ(at(tiny, 34, 34), QColor(Qt::green));

    const QIcon legacy = Icons::icon(entry(QStringLiteral("legacy"), QStringLiteral("tavrin-legacy")));
    EXPECT_EQ(at(legacy, 18, 18), QColor(Qt::blue));
    const QIcon own = Icons::icon(
        entry(QStringLiteral("own"), data.filePath(QStringLiteral("elsewhere/own.png"))));
    EXPECT_EQ(at(own, 18, 18, 72), QColor(Qt::yellow));

    const QIcon exported = Icons::icon(entry(QStringLiteral("exported"),
                                             QStringLiteral("tavrin-export"),
                                             QStringLiteral("exports/share/applications/")));
    EXPECT_EQ(at(exported, 18, 18), QColor(Qt::cyan));
}

TEST_F(IconsTest, AnythingUnresolvedGetsTheGenericIcon)
{
    const QString missing = entry(QStringLiteral("missing"), QStringLiteral("tavrin-nothing"));
    const QString relative = entry(QStringLiteral("relative"), QStringLiteral("icons/x.png"));
    for (const QString& path : {missing, relative, data.filePath(QStringLiteral("nowhere.desktop")),
                                QString(), QStringLiteral("/")}) {
        const QIcon icon = Icons::icon(path);
        EXPECT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_GT(at(icon, 18, 18).alpha(), 0) << path.toStdString();
    }
}

TEST_F(IconsTest, EachPathIsResolvedOnce)
{
    const QString path = entry(QStringLiteral("once"), QStringLiteral("tavrin-red"));
    const QIcon first = Icons::icon(path);
    // A changed entry is not read again.
    entry(QStringLiteral("once"), QStringLiteral("tavrin-tiny"));
    const QIcon second = Icons::icon(path);
    EXPECT_EQ(first.cacheKey(), second.cacheKey());
    EXPECT_EQ(at(second, 18, 18), QColor(Qt::red));
}

// No file an icon lookup meets can hold the window: a FIFO as a bundle's
// theme icon, as the system theme's, as an entry's absolute Icon=, behind an
// SVG's <image> or as the bundle's entry itself is refused without waiting
// for a writer, and the generic icon stands in.
TEST_F(IconsTest, NoIconFileCanHoldTheWindow)
{
    const QString x = bundle(QStringLiteral("X"), QStringLiteral("x"));
    std::vector<QString> fifos{fifo(QStringLiteral("bundles/X.app/Contents/share/icons/hicolor/48x48/apps/x.png")),
                               fifo(QStringLiteral("icons/hicolor/48x48/apps/tavrin-fifo.png")),
                               fifo(QStringLiteral("elsewhere/fifo.png")),
                               fifo(QStringLiteral("elsewhere/fifo.svg.png")),
                               fifo(QStringLiteral("bundles/Y.app/Contents/share/applications/y.desktop"))};
    write(QStringLiteral("elsewhere/reaching.svg"),
          "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='48' "
          "height='48'><image width='48' height='48' xlink:href='" + QFile::encodeName(fifos[3]) + "'/></svg>");
    const QStringList paths{x, entry(QStringLiteral("themed-fifo"), QStringLiteral("tavrin-fifo")),
                            entry(QStringLiteral("absolute-fifo"), fifos[2]),
                            entry(QStringLiteral("reaching"), data.filePath(QStringLiteral("elsewhere/reaching.svg"))),
                            data.filePath(QStringLiteral("bundles/Y.app"))};

    FifoWatchdog watchdog(fifos);
    std::vector<QIcon> icons;
    for (const QString& path : paths)
        icons.push_back(Icons::icon(path));
    EXPECT_EQ(watchdog.finish(), 0) << "a lookup waited on a FIFO";
    for (std::size_t i = 0; i < icons.size(); ++i) {
        EXPECT_FALSE(icons[i].isNull()) << paths[int(i)].toStdString();
        EXPECT_GT(at(icons[i], 18, 18).alpha(), 0) << paths[int(i)].toStdString();
    }
}

// An SVG icon is drawn from its own bytes: an <image> naming a file of the
// user's and a style sheet from another file are refused with the whole
// icon, while pictures held in the document itself still draw.
TEST_F(IconsTest, AnSvgIconDrawsNothingFromOtherFiles)
{
    write(QStringLiteral("private/secret.png"), png(Qt::red));
    write(QStringLiteral("private/style.css"), "rect { fill: #ff0000; }");
    const QByteArray open = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                            "width='48' height='48'><rect width='48' height='48' fill='#0000ff'/>";
    const QByteArray secret = QFile::encodeName(data.filePath(QStringLiteral("private/secret.png")));
    write(QStringLiteral("svg/linked.svg"),
          open + "<image width='48' height='48' xlink:href='" + secret + "'/></svg>");
    write(QStringLiteral("svg/linked-plain.svg"), open + "<image width='48' height='48' href='" + secret + "'/></svg>");
    write(QStringLiteral("svg/styled.svg"), "<?xml-stylesheet type=\"text/css\" href=\""
              + QFile::encodeName(data.filePath(QStringLiteral("private/style.css"))) + "\"?>" + open + "</svg>");
    write(QStringLiteral("svg/nested.svg"),
          open + "<image width='48' height='48' xlink:href='data:image/svg+xml;base64,"
              + (open + "<image width='48' height='48' xlink:href='" + secret + "'/></svg>").toBase64() + "'/></svg>");
    write(QStringLiteral("svg/own.svg"), open + "<image width='48' height='48' xlink:href='data:image/png;base64,"
                                             + png(Qt::green).toBase64() + "'/></svg>");
    write(QStringLiteral("svg/plain.svg"), open + "</svg>");
    const auto icon = [&](const char* name) {
        return Icons::icon(entry(QString::fromLatin1(name), data.filePath(QStringLiteral("svg/%1.svg").arg(QLatin1String(name)))));
    };

    for (const char* name : {"linked", "linked-plain", "styled", "nested"}) {
        const QIcon refused = icon(name);
        EXPECT_FALSE(shows(refused, Qt::red)) << name;
        EXPECT_FALSE(shows(refused, Qt::blue)) << name;
        EXPECT_GT(at(refused, 18, 18).alpha(), 0) << name;
    }
    EXPECT_EQ(at(icon("own"), 18, 18), QColor(Qt::green));
    EXPECT_EQ(at(icon("plain"), 18, 18), QColor(Qt::blue));
}

// A bundle's icons are found for its own group alone: another application
// naming the same icon, or another bundle without one, gets its own or the
// generic icon, and the system's themes still serve everyone else.
TEST_F(IconsTest, ABundlesIconsServeItsOwnGroupAlone)
{
    const QString own = bundle(QStringLiteral("Own"), QStringLiteral("tavrin-shared"));
    image(QStringLiteral("bundles/Own.app/Contents/share/icons/hicolor/48x48/apps/tavrin-shared.png"), 48,
          Qt::magenta);
    EXPECT_EQ(at(Icons::icon(own), 18, 18), QColor(Qt::magenta));

    const QIcon other = Icons::icon(entry(QStringLiteral("other"), QStringLiteral("tavrin-shared")));
    const QIcon otherBundle = Icons::icon(bundle(QStringLiteral("Other"), QStringLiteral("tavrin-shared")));
    for (const QIcon& icon : {other, otherBundle}) {
        EXPECT_FALSE(shows(icon, Qt::magenta));
        EXPECT_GT(at(icon, 18, 18).alpha(), 0);
    }
    EXPECT_EQ(at(Icons::icon(entry(QStringLiteral("red-after"), QStringLiteral("tavrin-red"))), 18, 18),
              QColor(Qt::red));
}
