#include "widget_fixture.h"

#include "ui/icons.h"
#include "ui/process_icon.h"
#include "ui/theme.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

namespace {

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
    // A letter keeps its combining accent.
    EXPECT_EQ(Icons::letter(u"e\u0301cole"), QStringLiteral("E\u0301"));
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
