#include "app/single_copy.h"

#include "platform/user_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");
// A copy that does not take the connection or the request within this
// long is not answering; the new one then runs on its own.
constexpr int answerMs = 3000;

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
    // Held while this start decides whether it is the first: two starts at
    // once must not both remove a socket and listen.
    const UserFile::Lock starting(QFile::encodeName(path_ + QStringLiteral(".lock")).toStdString(), 300);
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
