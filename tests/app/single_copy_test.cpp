// One copy per desktop session: the socket a start looks for, and real
// later starts of the program handing over to the first.

#include "app/single_copy.h"
#include "model/event_loop_wait.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QProcessEnvironment session(const QString& display, const QString& wayland, const QString& id)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/1000"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland);
    env.insert(QStringLiteral("XDG_SESSION_ID"), id);
    return env;
}

// The program as a person starts it, headless, with a home and a runtime
// folder of its own.
class SingleCopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(runtime.isValid());
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        path = SingleCopy::socketPath(env, QStringLiteral("offscreen"), ::getuid());
    }
    void TearDown() override
    {
        for (auto& copy : copies) {
            copy->kill();
            copy->waitForFinished();
        }
    }

    QProcess& start(const QStringList& extra = {})
    {
        auto copy = std::make_unique<QProcess>();
        copy->setProcessEnvironment(env);
        copy->setStandardOutputFile(QProcess::nullDevice());
        copy->setStandardErrorFile(QProcess::nullDevice());
        copy->start(QStringLiteral(TAVRIN_BINARY),
                    QStringList{QStringLiteral("-demo"), QStringLiteral("YES"),
                                QStringLiteral("-welcomeSeen"), QStringLiteral("YES")}
                        + extra);
        copies.push_back(std::move(copy));
        return *copies.back();
    }
    static bool ended(const QProcess& copy) { return copy.state() == QProcess::NotRunning; }

    QTemporaryDir home;
    QTemporaryDir runtime;
    QProcessEnvironment env;
    QString path;
    std::vector<std::unique_ptr<QProcess>> copies;
};

} // namespace

TEST(SingleCopySocket, OnePerUserAndSessionInTheRuntimeFolder)
{
    const auto x11 = QStringLiteral("xcb");
    const auto wl = QStringLiteral("wayland");
    const QString home = SingleCopy::socketPath(session(":0", "", "3"), x11, 1000);
    EXPECT_TRUE(home.startsWith("/run/user/1000/tavrin-1000-")) << home.toStdString();
    EXPECT_LE(home.toUtf8().size(), 107);
    EXPECT_EQ(SingleCopy::socketPath(session(":0", "", "3"), x11, 1000), home);

    // Another display (an Xvfb run), another login session, another user.
    EXPECT_NE(SingleCopy::socketPath(session(":99", "", "3"), x11, 1000), home);
    EXPECT_NE(SingleCopy::socketPath(session(":0", "", "4"), x11, 1000), home);
    EXPECT_NE(SingleCopy::socketPath(session(":0", "", "3"), x11, 1001), home);
    // A headless copy never takes the starts of a desktop's.
    EXPECT_NE(SingleCopy::socketPath(session(":0", "", "3"), QStringLiteral("offscreen"), 1000), home);

    // Under Wayland the compositor names the display; the X server it
    // runs for older programs does not.
    const QString wayland = SingleCopy::socketPath(session(":0", "wayland-0", "3"), wl, 1000);
    EXPECT_EQ(SingleCopy::socketPath(session(":1", "wayland-0", "3"), wl, 1000), wayland);
    EXPECT_NE(SingleCopy::socketPath(session(":0", "wayland-1", "3"), wl, 1000), wayland);

    // Without a runtime folder it still lands in an absolute place.
    QProcessEnvironment bare = session(":0", "", "3");
    bare.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    EXPECT_TRUE(QFileInfo(SingleCopy::socketPath(bare, x11, 1000)).isAbsolute());
}

TEST_F(SingleCopyTest, ALaterStartAsksTheFirstToShowAndEnds)
{
    SingleCopy first(path);
    int shown = 0;
    QObject::connect(&first, &SingleCopy::showRequested, [&shown] { ++shown; });
    ASSERT_EQ(first.claim(), SingleCopy::Role::first);

    QProcess& later = start();
    ASSERT_TRUE(waitFor([&] { return ended(later); }));
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return shown == 1; }));
}

TEST_F(SingleCopyTest, ASocketLeftByAKilledCopyIsTakenOver)
{
    // What a copy killed with -9 leaves: the socket file, nobody behind it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(path));

    SingleCopy first(path);
    int shown = 0;
    QObject::connect(&first, &SingleCopy::showRequested, [&shown] { ++shown; });
    ASSERT_EQ(first.claim(), SingleCopy::Role::first);
    QProcess& later = start();
    ASSERT_TRUE(waitFor([&] { return ended(later); }));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return shown == 1; }));
}

TEST_F(SingleCopyTest, ALiveCopyThatDoesNotAnswerKeepsItsSocket)
{
    // Listening, but its event loop never gets to the request.
    QLocalServer busy;
    ASSERT_TRUE(busy.listen(path));
    SingleCopy later(path);
    EXPECT_EQ(later.claim(), SingleCopy::Role::alone);
    EXPECT_TRUE(busy.isListening());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(SingleCopyTest, TheProgramListensAndTakesLaterStartsOfItsSession)
{
    QProcess& first = start();
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(path) || ended(first); }));
    ASSERT_FALSE(ended(first));

    QProcess& second = start();
    ASSERT_TRUE(waitFor([&] { return ended(second); }));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(ended(first));

    // Another session (here another runtime folder) runs its own copy,
    // which listens there.
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), other.path());
    const QString otherPath = SingleCopy::socketPath(env, QStringLiteral("offscreen"), ::getuid());
    QProcess& third = start();
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(otherPath) || ended(third); }));
    EXPECT_FALSE(ended(third));
}
