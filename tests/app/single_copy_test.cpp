// One copy per desktop session: the socket a start looks for, and real
// later starts of the program handing over to the first, but never to
// another user's listener nor in a folder that is not the user's own.

#include "app/single_copy.h"
#include "model/event_loop_wait.h"
#include "platform/descriptor_limit.h"
#include "ui/scheduler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <vector>
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
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

// Someone else waiting where the program looks for its first copy: a
// process of another user, listening at `path` and answering "show" with
// "ok" as a copy would. In a folder only this user may write to, the
// socket is bound before the process becomes the other user; elsewhere
// that user makes it.
class Stranger {
public:
    static constexpr uid_t uid = 65534;

    Stranger(const QString& path, bool bindFirst)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(heard_, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only system calls from here: the test process has threads.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            auto bindIt = [&] { return ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0; };
            if (fd < 0 || (bindFirst && !bindIt()))
                ::_exit(1);
            if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setgid, gid_t(uid)) != 0
                || ::syscall(SYS_setuid, uid) != 0)
                ::_exit(77);
            if ((!bindFirst && !bindIt()) || ::listen(fd, 8) != 0)
                ::_exit(1);
            (void)!::write(ready[1], "r", 1);
            for (;;) {
                const int c = ::accept(fd, nullptr, nullptr);
                if (c < 0)
                    continue;
                char request[64];
                const ssize_t n = ::read(c, request, sizeof request);
                if (n >= 5 && std::memcmp(request, "show\n", 5) == 0) {
                    (void)!::write(c, "ok\n", 3);
                    (void)!::write(heard_[1], "s", 1);
                }
                ::close(c);
            }
        }
        ::close(ready[1]);
        ::close(heard_[1]);
        heard_[1] = -1;
        char byte = 0;
        // The child writes once it listens, or ends.
        while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[0]);
        listening_ = byte == 'r';
        ::fcntl(heard_[0], F_SETFL, O_NONBLOCK);
    }
    ~Stranger()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : heard_)
            if (fd >= 0)
                ::close(fd);
    }
    Stranger(const Stranger&) = delete;
    Stranger& operator=(const Stranger&) = delete;

    // False where this machine does not let a process change its user.
    bool listening() const { return listening_; }
    // Whether any start has asked it to show a window.
    bool heardShow()
    {
        char byte = 0;
        while (heard_[0] >= 0 && ::read(heard_[0], &byte, 1) == 1)
            told_ = true;
        return told_;
    }

private:
    pid_t pid_ = -1;
    int heard_[2] = {-1, -1};
    bool listening_ = false;
    bool told_ = false;
};

// A client socket made now and connected later, so that it can reach the
// copy when no descriptor is left to make one.
class Client {
public:
    Client() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Client()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connectTo(const QString& path) const
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (fd_ < 0 || size_t(name.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && ::fcntl(fd_, F_SETFL, O_NONBLOCK) == 0;
    }
    bool send(const char* text) const { return ::write(fd_, text, std::strlen(text)) == ssize_t(std::strlen(text)); }
    // What the copy answered so far; "closed" once it hung up.
    QByteArray heard()
    {
        char buffer[64];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0)
                heard_.append(buffer, n);
            else if (n == 0)
                return heard_ + "closed";
            else
                return heard_;
        }
    }

private:
    int fd_;
    QByteArray heard_;
};

// A folder at `path` with exactly `mode`, whatever the umask.
bool makeFolder(const QString& path, mode_t mode)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
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
        copy->start(QStringLiteral(TAVRIN_BINARY),
                    QStringList{QStringLiteral("-demo"), QStringLiteral("YES"),
                                QStringLiteral("-welcomeSeen"), QStringLiteral("YES")}
                        + extra);
        copies.push_back(std::move(copy));
        return *copies.back();
    }
    static bool ended(const QProcess& copy) { return copy.state() == QProcess::NotRunning; }
    // Whether the copy's log has said `text` so far.
    bool logged(QProcess& copy, const char* text)
    {
        QByteArray& log = logs[&copy];
        log += copy.readAllStandardError();
        return log.contains(text);
    }
    // Started, and then still running once it has said why it runs on its
    // own: a start that hands over says nothing and ends.
    void expectOnItsOwn(QProcess& copy, const char* why)
    {
        ASSERT_TRUE(waitFor([&] { return logged(copy, "runs on its own") || ended(copy); }));
        EXPECT_FALSE(ended(copy)) << logs[&copy].toStdString();
        EXPECT_TRUE(logged(copy, why)) << logs[&copy].toStdString();
    }

    QTemporaryDir home;
    QTemporaryDir runtime;
    QProcessEnvironment env;
    QString path;
    std::vector<std::unique_ptr<QProcess>> copies;
    std::map<QProcess*, QByteArray> logs;
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

    // Without a runtime folder there is no place to meet: /tmp, or a
    // folder under it, is anyone's to make first.
    QProcessEnvironment bare = session(":0", "", "3");
    bare.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    EXPECT_EQ(SingleCopy::socketPath(bare, x11, 1000), QString());
    bare.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("run/user/1000"));
    EXPECT_EQ(SingleCopy::socketPath(bare, x11, 1000), QString());
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

TEST_F(SingleCopyTest, AListenerOfAnotherUserIsNeitherToldNorRemoved)
{
    // In the user's own folder, as only root could leave it, or through a
    // link that leads to someone else's socket.
    Stranger stranger(path, true);
    if (!stranger.listening())
        GTEST_SKIP() << "this machine does not let a process become uid " << Stranger::uid;

    SingleCopy later(path);
    EXPECT_EQ(later.claim(), SingleCopy::Role::alone);
    QProcess& copy = start();
    expectOnItsOwn(copy, "another user's");
    EXPECT_FALSE(stranger.heardShow());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(SingleCopyTest, ARuntimeFolderOpenToEveryoneIsNoPlaceToMeet)
{
    QTemporaryDir open;
    ASSERT_TRUE(open.isValid());
    ASSERT_TRUE(makeFolder(open.path(), 01777));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), open.path());
    path = SingleCopy::socketPath(env, QStringLiteral("offscreen"), ::getuid());
    // Another user who got there first, where the machine allows one.
    Stranger stranger(path, false);

    QProcess& first = start();
    expectOnItsOwn(first, "mode 1777");
    QProcess& second = start();
    expectOnItsOwn(second, "mode 1777");
    EXPECT_FALSE(stranger.heardShow());
    if (!stranger.listening()) {
        // Nothing of ours is left there for anyone to find or take.
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_FALSE(QFileInfo::exists(path + ".lock"));
    }
}

TEST_F(SingleCopyTest, WithoutARuntimeFolderNoStartLooksInTheTemporaryFolder)
{
    // What a start without XDG_RUNTIME_DIR fell back to: Qt's runtime-USER
    // folder in the temporary folder, which another user made first, and
    // then the temporary folder itself, where that user waits.
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(makeFolder(tmp.path(), 01777));
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    const QString theirs = tmp.filePath(QStringLiteral("runtime-") + QString::fromLocal8Bit(me->pw_name));
    ASSERT_TRUE(makeFolder(theirs, 0700));
    const bool chowned = ::chown(QFile::encodeName(theirs).constData(), Stranger::uid, Stranger::uid) == 0;
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    Stranger stranger(tmp.filePath(QFileInfo(path).fileName()), false);
    if (!chowned || !stranger.listening())
        std::cerr << "no listener of uid " << Stranger::uid << " here; only the start is checked\n";

    QProcess& copy = start();
    expectOnItsOwn(copy, "no runtime folder");
    EXPECT_FALSE(stranger.heardShow());
}

TEST_F(SingleCopyTest, ALongRuntimeFolderNameStillMeets)
{
    // Longer than a socket address can hold once the socket's name is on.
    QString folder = runtime.path();
    while (folder.size() < 122) {
        // Segments of at most 40, none of them empty.
        const qsizetype room = 122 - folder.size();
        folder += QStringLiteral("/") + QString(room <= 41 ? room - 1 : room == 42 ? 39 : 40, u'r');
    }
    ASSERT_EQ(folder.size(), 122);
    ASSERT_TRUE(makeFolder(folder, 0700));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
    path = SingleCopy::socketPath(env, QStringLiteral("offscreen"), ::getuid());
    ASSERT_GT(QFile::encodeName(path).size(), 107);

    QProcess& first = start();
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(path) || ended(first); }));
    ASSERT_FALSE(ended(first));
    QProcess& second = start();
    ASSERT_TRUE(waitFor([&] { return ended(second); }));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(ended(first));
}

TEST_F(SingleCopyTest, SilentConnectionsAreFewAtOnceAndClosedWhenIdle)
{
    ScopedManualScheduler clock;
    SingleCopy first(path);
    ASSERT_EQ(first.claim(), SingleCopy::Role::first);
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 30; ++i) {
        clients.push_back(std::make_unique<Client>());
        ASSERT_TRUE(clients.back()->connectTo(path));
    }
    // The kernel queues them all; the copy takes only a few.
    ASSERT_TRUE(waitFor([&] { return first.held() == SingleCopy::maxHeld; }));
    EXPECT_FALSE(first.accepting());
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        EXPECT_EQ(first.held(), SingleCopy::maxHeld);
    }
    const int taken = SingleCopy::maxHeld;
    for (int i = 0; i < taken; ++i)
        EXPECT_EQ(clients[size_t(i)]->heard(), "");

    // Silent for the idle time: closed, and the next few are taken.
    clock.scheduler.advance(SingleCopy::idleSeconds);
    for (int i = 0; i < taken; ++i)
        EXPECT_TRUE(waitFor([&] { return clients[size_t(i)]->heard() == "closed"; })) << i;
    ASSERT_TRUE(waitFor([&] { return first.held() == SingleCopy::maxHeld; }));
    EXPECT_EQ(clients[size_t(taken)]->heard(), "");

    // A start that asks is answered among them.
    int shown = 0;
    QObject::connect(&first, &SingleCopy::showRequested, [&shown] { ++shown; });
    clients.clear();
    Client asking;
    ASSERT_TRUE(asking.connectTo(path));
    ASSERT_TRUE(asking.send("show\n"));
    EXPECT_TRUE(waitFor([&] { return shown == 1; }));
    EXPECT_TRUE(waitFor([&] { return asking.heard() == "ok\nclosed"; }));
    EXPECT_TRUE(waitFor([&] { return first.held() == 0 && first.accepting(); }));
}

TEST_F(SingleCopyTest, WithoutDescriptorsTheCopyStillAnswersAndRestsInsteadOfSpinning)
{
    ScopedManualScheduler clock;
    SingleCopy first(path);
    int shown = 0;
    QObject::connect(&first, &SingleCopy::showRequested, [&shown] { ++shown; });
    ASSERT_EQ(first.claim(), SingleCopy::Role::first);
    Client asking, silent, another;
    {
        NoDescriptorsLeft starved;
        if (!starved.ok())
            GTEST_SKIP() << "the descriptor limit cannot be lowered here";
        // A later start is answered even so.
        ASSERT_TRUE(asking.connectTo(path));
        ASSERT_TRUE(asking.send("show\n"));
        EXPECT_TRUE(waitFor([&] { return shown == 1; }));
        EXPECT_TRUE(waitFor([&] { return asking.heard() == "ok\nclosed"; }));

        // With nothing in reserve the copy stops taking connections for a
        // while rather than being woken for the same one forever.
        ASSERT_TRUE(silent.connectTo(path));
        ASSERT_TRUE(another.connectTo(path));
        ASSERT_TRUE(waitFor([&] { return !first.accepting(); }));
        starved.restore();
        clock.scheduler.advance(1);
        EXPECT_TRUE(waitFor([&] { return first.held() == 2; }));
        EXPECT_TRUE(first.accepting());
    }
    clock.scheduler.advance(SingleCopy::idleSeconds);
    EXPECT_TRUE(waitFor([&] { return silent.heard() == "closed" && first.held() == 0; }));
}
