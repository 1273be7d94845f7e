#include "platform/run_command.h"

#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

} // namespace

QString runCommand(const QString& tool, const QStringList& arguments, std::chrono::milliseconds timeout)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    Fd readEnd{pipeFds[0]}, writeEnd{pipeFds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    const QByteArray path = tool.toLocal8Bit();
    std::vector<QByteArray> args{path};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (rc != 0)
        return {};

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + timeout;
    QByteArray out;
    bool timedOut = false;
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{readEnd.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            break;
        }
        if (ready < 0)
            break;
        const ssize_t n = ::read(readEnd.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    // A tool may close its output and still linger; it gets until the same
    // deadline to exit.
    int status = 0;
    while (!timedOut) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return QString::fromUtf8(out);
        if (clock::now() >= deadline)
            timedOut = true;
        else
            ::usleep(1000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {};
}

QString toolPath(const QString& name)
{
    // /proc/self/exe works before (and without) a QCoreApplication.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(exe).absolutePath() + u'/' + name;
}
