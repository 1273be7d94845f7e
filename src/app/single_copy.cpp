#include "app/single_copy.h"

#include "platform/runtime_folder.h"
#include "platform/user_file.h"
#include "ui/scheduler.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <utility>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");
// A copy that does not take the connection or the request within this
// long is not answering; the new one then runs on its own.
constexpr int answerMs = 3000;
constexpr int backlog = 50;
// How long taking connections rests when no descriptor is left: the queued
// connection stays readable, and trying again at once would spin.
constexpr double starvedRest = 0.5;

int openReserve()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

const char* const onItsOwn = "this copy runs on its own, and so will later starts";

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
    // No other folder is the user's alone: /tmp, or Qt's runtime folder
    // under it, is one any user can make first.
    const QString folder = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (folder.isEmpty() || !QFileInfo(folder).isAbsolute())
        return {};
    // The key itself may be long or hold any text; the name stays short.
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

SingleCopy::~SingleCopy()
{
    delete incoming_;
    if (reserve_ >= 0)
        ::close(reserve_);
    if (listener_ >= 0) {
        ::close(listener_);
        // The next start then finds nothing there, not a socket nobody
        // answers.
        folder_->removeSocket(name_);
    }
}

SingleCopy::Role SingleCopy::claim()
{
    if (path_.isEmpty()) {
        qWarning("Tavrin: no runtime folder to meet other copies in (XDG_RUNTIME_DIR is not set "
                 "or not absolute); %s", onItsOwn);
        return Role::alone;
    }
    const qsizetype slash = path_.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash > 0 ? path_.left(slash) : QStringLiteral("/");
    name_ = QFile::encodeName(path_.mid(slash + 1)).toStdString();
    folder_ = std::make_unique<RuntimeFolder>(QFile::encodeName(folder).toStdString());
    if (!folder_->usable()) {
        qWarning("Tavrin: the runtime folder %s %s, so it is not this user's own to meet other "
                 "copies in; %s",
                 qUtf8Printable(folder), folder_->refusal().c_str(), onItsOwn);
        return Role::alone;
    }
    // Held while this start decides whether it is the first: two starts at
    // once must not both remove a socket and listen.
    const UserFile::Lock starting(folder_->fd(), name_ + ".lock", 300);
    switch (handOver()) {
    case Answer::shown:
        return Role::handedOver;
    case Answer::silent:
        // A live copy that does not answer keeps its socket.
        qWarning("Tavrin: the copy listening at %s does not answer; %s", qUtf8Printable(path_), onItsOwn);
        return Role::alone;
    case Answer::stranger:
        // Someone else's listener is never told of a start, and never
        // removed.
        qWarning("Tavrin: the socket at %s is another user's; %s", qUtf8Printable(path_), onItsOwn);
        return Role::alone;
    case Answer::nobody:
        break;
    }
    // Nobody took the connection. A socket left by a copy that was killed
    // is removed only now, so a live copy's socket is never taken away.
    folder_->removeSocket(name_);
    listener_ = folder_->listen(name_, backlog);
    if (listener_ < 0) {
        const int error = errno;
        qWarning("Tavrin: cannot listen at %s (%s); %s", qUtf8Printable(path_), std::strerror(error),
                 onItsOwn);
        return Role::alone;
    }
    reserve_ = openReserve();
    incoming_ = new QSocketNotifier(qintptr(listener_), QSocketNotifier::Read);
    connect(incoming_, &QSocketNotifier::activated, this, &SingleCopy::accept);
    return Role::first;
}

SingleCopy::Answer SingleCopy::handOver()
{
    const int fd = folder_->connect(name_, answerMs);
    if (fd < 0)
        return errno == EAGAIN ? Answer::silent : Answer::nobody;
    // Only a copy of this user's hears of a start: another user's listener
    // would learn of each one and keep the program from ever starting.
    const std::optional<uid_t> peer = RuntimeFolder::peerUid(fd);
    if (!peer || *peer != ::geteuid()) {
        ::close(fd);
        return Answer::stranger;
    }
    QLocalSocket socket;
    if (!socket.setSocketDescriptor(fd))
        return Answer::silent;
    socket.write(showRequest);
    // The copy answers once it has the request, so this one never ends
    // before the other has heard it.
    if (socket.waitForBytesWritten(answerMs) && socket.waitForReadyRead(answerMs)
        && socket.readAll().startsWith("ok"))
        return Answer::shown;
    return Answer::silent;
}

bool SingleCopy::accepting() const
{
    return incoming_ && incoming_->isEnabled();
}

void SingleCopy::accept()
{
    while (held_ < maxHeld) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED)
                continue;
            if (error != EMFILE && error != ENFILE && error != ENOBUFS && error != ENOMEM)
                return;
            // Out of descriptors: the reserve makes room for this one.
            if (reserve_ >= 0) {
                ::close(reserve_);
                reserve_ = -1;
                continue;
            }
            pause(starvedRest);
            return;
        }
        const std::optional<uid_t> peer = RuntimeFolder::peerUid(fd);
        if (peer && *peer == ::geteuid())
            serve(fd);
        else
            ::close(fd);
    }
    // The rest wait in the kernel's queue until a held one is closed.
    incoming_->setEnabled(false);
}

void SingleCopy::pause(double seconds)
{
    incoming_->setEnabled(false);
    if (paused_)
        return;
    paused_ = true;
    Scheduler::current().after(seconds, this, [this] {
        paused_ = false;
        if (reserve_ < 0)
            reserve_ = openReserve();
        if (held_ < maxHeld)
            incoming_->setEnabled(true);
    });
}

void SingleCopy::released()
{
    --held_;
    if (reserve_ < 0)
        reserve_ = openReserve();
    if (!paused_ && incoming_ && held_ < maxHeld)
        incoming_->setEnabled(true);
}

void SingleCopy::serve(int fd)
{
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
        delete socket;
        return;
    }
    ++held_;
    // Counted out as it closes, once, whichever way it ends.
    auto done = [this, socket, counted = std::make_shared<bool>(false)] {
        if (std::exchange(*counted, true))
            return;
        socket->deleteLater();
        released();
    };
    connect(socket, &QLocalSocket::disconnected, this, done);
    // One that has not asked by now never will.
    Scheduler::current().after(idleSeconds, socket, [socket, done] {
        socket->abort();
        done();
    });
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
