#include "platform/notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

QDBusMessage call(const char* method)
{
    return QDBusMessage::createMethodCall(QString::fromLatin1(DesktopNotifier::service),
                                          QString::fromLatin1(DesktopNotifier::path),
                                          QString::fromLatin1(DesktopNotifier::interface),
                                          QString::fromLatin1(method));
}

} // namespace

DesktopNotifier::DesktopNotifier() = default;
DesktopNotifier::DesktopNotifier(const QDBusConnection& bus) : bus_(bus) {}
DesktopNotifier::~DesktopNotifier() = default;

QDBusConnection DesktopNotifier::bus() const
{
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

void DesktopNotifier::requestPermission()
{
    if (asked_)
        return;
    asked_ = true;
    QDBusConnection bus = this->bus();
    if (!bus.isConnected())
        return;
    // Any answer will do: a service that replies is there to show what we
    // post. Its capabilities say whether it reads the body as markup.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call("GetCapabilities")), &context_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                     [this](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<QStringList> reply = *finished;
                         answered_ = true;
                         granted_ = !reply.isError();
                         markup_ = granted_ && reply.value().contains(QStringLiteral("body-markup"));
                         finished->deleteLater();
                     });
}

QString DesktopNotifier::escapeMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

void DesktopNotifier::post(const QString& identifier, const QString& title, const QString& body)
{
    // The service gives its own numbers to notifications; ours is not sent.
    Q_UNUSED(identifier);
    if (!granted_)
        return;
    QDBusConnection bus = this->bus();
    if (!bus.isConnected())
        return;
    QDBusMessage message = call("Notify");
    QVariantMap hints;
    // The notification carries no sound of its own.
    hints.insert(QStringLiteral("suppress-sound"), true);
    message << QStringLiteral("Tavrin") // application name
            << uint(0)                  // replaces no earlier notification
            << QString()                // icon
            << title << (markup_ ? escapeMarkup(body) : body) << QStringList() << hints
            << int(-1);                 // the server's own timeout
    // Fire and forget: errors of posting are not looked at.
    bus.asyncCall(message);
}
