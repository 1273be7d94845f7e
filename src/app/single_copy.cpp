#include "app/single_copy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");
// A copy that does not take the connection or the request within this
// long is not answering; the new one then runs on its own.
constexpr int answerMs = 3000;

// Held while a start decides whether it is the first: two starts at once
// must not both remove a socket and listen. The lock goes with the
// descriptor, so a copy that is killed never leaves it taken.
class StartLock {
public:
    explicit StartLock(const QString& path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return;
        struct stat st{};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return;
        // A copy stopped while it holds the lock must not keep this one
        // from starting.
        for (int attempt = 0; attempt < 300; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            ::usleep(10000);
        }
    }
    ~StartLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace

QString SingleCopy::sessionKey(const QProcessEnvironment& env, const QString& platform)
{
    // Under Wayland the compositor's socket names the display; X11 and
    // everything else go by DISPLAY. Xvfb servers started one per run
    // (xvfb-run -a) thus count as sessions of their own.
    const QString display = platform.startsWith(QLatin1String("wayland"))
        ? env.value(QStringLiteral("WAYLAND_DISPLAY"))
        : env.value(QStringLiteral("DISPLAY"));
    return platform + QLatin1Char('\n') + display + QLatin1Char('\n')
        + env.value(QStringLiteral("XDG_SESSION_ID"));
}

QString SingleCopy::socketPath(const QProcessEnvironment& env, const QString& platform, uid_t uid)
{
    QString folder = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (folder.isEmpty() || !QFileInfo(folder).isAbsolute())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // The key itself may be long or hold any text; a socket address holds
    // at most 107 bytes.
    const QByteArray digest = QCryptographicHash::hash(sessionKey(env, platform).toUtf8(),
                                                       QCryptographicHash::Sha256)
                                  .toHex()
                                  .left(16);
    return folder + QStringLiteral("/tavrin-") + QString::number(uid) + QLatin1Char('-')
        + QString::fromLatin1(digest);
}

QString SingleCopy::socketPath()
{
    return socketPath(QProcessEnvironment::systemEnvironment(), QGuiApplication::platformName(), ::getuid());
}

SingleCopy::SingleCopy(const QString& path, QObject* parent)
    : QObject(parent)
    , path_(path)
{
}

SingleCopy::~SingleCopy() = default;

SingleCopy::Role SingleCopy::claim()
{
    const StartLock starting(path_ + QStringLiteral(".lock"));
    switch (handOver()) {
    case Answer::shown:
        return Role::handedOver;
    case Answer::silent:
        // A live copy that does not answer keeps its socket.
        return Role::alone;
    case Answer::nobody:
        break;
    }
    // Nobody took the connection. A socket left by a copy that was killed
    // is removed only now, so a live copy's socket is never taken away.
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleCopy::serve);
    if (server_->listen(path_))
        return Role::first;
    qWarning("Tavrin: cannot listen at %s (%s); later starts run copies of their own",
             qUtf8Printable(path_), qUtf8Printable(server_->errorString()));
    delete server_;
    server_ = nullptr;
    return Role::alone;
}

SingleCopy::Answer SingleCopy::handOver()
{
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(answerMs))
        return Answer::nobody;
    socket.write(showRequest);
    // The copy answers once it has the request, so this one never ends
    // before the other has heard it.
    if (socket.waitForBytesWritten(answerMs) && socket.waitForReadyRead(answerMs)
        && socket.readAll().startsWith("ok"))
        return Answer::shown;
    return Answer::silent;
}

void SingleCopy::serve()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > showRequest.size())
                    socket->disconnectFromServer();
                return;
            }
            const QByteArray line = socket->readLine(64);
            if (line == showRequest) {
                socket->write("ok\n");
                socket->flush();
                emit showRequested();
            }
            socket->disconnectFromServer();
        });
    }
}
