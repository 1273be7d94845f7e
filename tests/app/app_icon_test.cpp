#include "app/main_window.h"
#include "app/tavrin_app.h"
#include "engine/process_probe.h"
#include "platform/desktop_entries.h"
#include "shell_fixture.h"
#include "ui/icons.h"
#include "ui/theme.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

namespace {

// The emblem on its plate, as any icon of the program must show it: the
// mint core in the middle, the dark plate between the ticks and the edge,
// and the corner clear of the rounded plate.
void expectEmblem(const QImage& image, int edge)
{
    ASSERT_EQ(image.size(), QSize(edge, edge));
    EXPECT_EQ(image.pixelColor(edge / 2, edge / 2), Theme::cpu()) << edge;
    EXPECT_EQ(image.pixelColor(edge / 16, edge / 2), Theme::bg()) << edge;
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << edge;
}

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

// A program of the bundle, running: killed and reaped when the test ends.
class Running {
public:
    explicit Running(const QString& program)
    {
        const QByteArray path = QFile::encodeName(program);
        char seconds[] = "30";
        char* argv[] = {const_cast<char*>(path.constData()), seconds, nullptr};
        if (::posix_spawn(&pid_, path.constData(), nullptr, nullptr, argv, environ) != 0)
            pid_ = 0;
    }
    ~Running()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

} // namespace

// Task bars and window switchers show the program's own icon in every size
// a desktop asks for, and the windows name the desktop entry they belong to.
TEST_F(ShellTest, WindowsCarryTheProgramsIcon)
{
    TavrinApp app(make(true));
    app.showMain();
    const QIcon icon = app.mainWindow()->windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int edge : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(edge, edge))) << edge;
        if (edge >= 22)
            expectEmblem(icon.pixmap(QSize(edge, edge), 1.0).toImage(), edge);
    }
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral(TAVRIN_APP_ID));
}

// Where Tavrin is installed, its own list shows it as "Tavrin" with its
// icon: run from its bundle, by the bundle's own desktop entry and icons;
// installed by a package outside any bundle (the entry and icons in the
// data dirs, the program linked onto PATH), by the installed entry.
TEST_F(ShellTest, TheBundlesDesktopEntryGroupsTavrinWithItsIcon)
{
    const QString share = QStringLiteral(TAVRIN_SHARE_DIR);
    const QString id = QStringLiteral(TAVRIN_APP_ID);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString data = root.filePath(QStringLiteral("data"));
    ASSERT_TRUE(copyTree(share, data));
    const QString entryPath = data + QStringLiteral("/applications/") + id + QStringLiteral(".desktop");
    ASSERT_TRUE(QFileInfo(entryPath).isFile());
    for (const int edge : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(QFileInfo(data + QStringLiteral("/icons/hicolor/%1x%1/apps/").arg(edge) + id
                              + QStringLiteral(".png"))
                        .isFile())
            << edge;
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("/icons/hicolor/scalable/apps/") + id + QStringLiteral(".svg")).isFile());
    // The theme's index comes with the desktop, not with the program.
    if (!QFile::copy(QStringLiteral("/usr/share/icons/hicolor/index.theme"),
                     data + QStringLiteral("/icons/hicolor/index.theme"))) {
        QFile index(data + QStringLiteral("/icons/hicolor/index.theme"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,256x256/apps\n\n"
                    "[48x48/apps]\nSize=48\nContext=Applications\nType=Threshold\n\n"
                    "[256x256/apps]\nSize=256\nContext=Applications\nType=Threshold\n");
    }
    const QByteArray savedHome = qgetenv("XDG_DATA_HOME"), savedDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(QStringLiteral("none"))));

    // A stand-in for the program that stays running, under its name.
    const auto install = [&](const QString& dir) {
        const QString program = dir + QStringLiteral("/tavrin");
        EXPECT_TRUE(QDir().mkpath(dir));
        EXPECT_TRUE(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), program));
        EXPECT_TRUE(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));
        return program;
    };
    const QString path = root.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(path));
    const QString packaged = install(root.filePath(QStringLiteral("opt/tavrin/bin")));
    ASSERT_TRUE(QFile::link(packaged, path + QStringLiteral("/tavrin")));
    const QString bundle = root.filePath(QStringLiteral("Tavrin.app"));
    const QString bundled = install(bundle + QStringLiteral("/Contents/bin"));
    ASSERT_TRUE(copyTree(share, bundle + QStringLiteral("/Contents/share")));

    const DesktopEntries entries = DesktopEntries::load({data + QStringLiteral("/applications")}, {path});
    Running fromPackage(packaged), fromBundle(bundled);
    ASSERT_GT(fromPackage.pid(), 0);
    ASSERT_GT(fromBundle.pid(), 0);
    ProcessProbe probe(QStringLiteral("/"), entries);
    const std::vector<ProcSample> samples = probe.sample(0, {}, {});
    const auto sampleOf = [&](pid_t pid) {
        const auto it = std::find_if(samples.begin(), samples.end(), [&](const ProcSample& s) { return s.pid == pid; });
        return it == samples.end() ? std::optional<ProcSample>() : std::optional(*it);
    };
    const std::optional<ProcSample> package = sampleOf(fromPackage.pid()), own = sampleOf(fromBundle.pid());
    ASSERT_TRUE(package && own);
    EXPECT_EQ(package->groupName, "Tavrin");
    EXPECT_EQ(package->groupKey, entryPath);
    EXPECT_EQ(package->bundlePath, std::optional(entryPath));
    EXPECT_EQ(own->groupName, "Tavrin");
    EXPECT_EQ(own->bundlePath, std::optional(bundle));
    for (const ProcSample* sample : {&*package, &*own}) {
        ASSERT_TRUE(sample->bundlePath);
        expectEmblem(Icons::icon(*sample->bundlePath).pixmap(QSize(48, 48), 1.0).toImage(), 48);
    }
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", savedHome}, std::pair{"XDG_DATA_DIRS", savedDirs}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}
