#include "ui/desktop_settings.h"

#include "platform/defaults.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// The portal's Read wraps the value in one variant more than the setting
// has; newer portals answer through ReadOne without it. Either unwraps here.
std::optional<bool> boolOf(QVariant value)
{
    for (int depth = 0; depth < 4 && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    if (value.metaType() != QMetaType::fromType<bool>())
        return std::nullopt;
    return value.toBool();
}

} // namespace

DesktopSettings& DesktopSettings::instance()
{
    // Never destroyed: its bus connection must not be torn down after the
    // application object is gone.
    static DesktopSettings* const settings = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        auto* s = new DesktopSettings(bus.isConnected() ? std::optional(bus) : std::nullopt);
        s->setReduceMotionOverride(readReduceMotionOverride(Defaults::standard()));
        return s;
    }();
    return *settings;
}

DesktopSettings::DesktopSettings(std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus))
{
    if (!bus_ || !bus_->isConnected())
        return;
    // Subscribed before reading, so a change between the two is not lost.
    bus_->connect(QString::fromLatin1(service), QString::fromLatin1(path),
                  QString::fromLatin1(interface), QStringLiteral("SettingChanged"), this,
                  SLOT(settingChanged(QString, QString, QDBusVariant)));
    read(interfaceNamespace, animationsKey);
    read(soundNamespace, eventSoundsKey);
}

DesktopSettings::~DesktopSettings()
{
    if (bus_ && bus_->isConnected())
        bus_->disconnect(QString::fromLatin1(service), QString::fromLatin1(path),
                         QString::fromLatin1(interface), QStringLiteral("SettingChanged"), this,
                         SLOT(settingChanged(QString, QString, QDBusVariant)));
}

bool DesktopSettings::reduceMotion() const
{
    return override_ ? *override_ : !animations_;
}

void DesktopSettings::setReduceMotionOverride(std::optional<bool> reduce)
{
    const bool before = reduceMotion();
    override_ = reduce;
    if (reduceMotion() != before)
        emit changed();
}

std::optional<bool> DesktopSettings::readReduceMotionOverride(const Defaults& defaults)
{
    const QString key = QStringLiteral("reduceMotion");
    if (!defaults.contains(key))
        return std::nullopt;
    return Defaults::parseBool(defaults.stringValue(key));
}

void DesktopSettings::read(const char* group, const char* key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service),
                                                       QString::fromLatin1(path),
                                                       QString::fromLatin1(interface),
                                                       QStringLiteral("Read"));
    call << QString::fromLatin1(group) << QString::fromLatin1(key);
    // Never waited for: the first frames use the defaults until the answer.
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call), this);
    ++pending_;
    const QString g = QString::fromLatin1(group), k = QString::fromLatin1(key);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, g, k](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                --pending_;
                const QDBusMessage reply = finished->reply();
                if (finished->isError() || reply.arguments().isEmpty())
                    return;
                apply(g, k, boolOf(reply.arguments().front()));
            });
}

void DesktopSettings::settingChanged(const QString& group, const QString& key,
                                     const QDBusVariant& value)
{
    apply(group, key, boolOf(value.variant()));
}

void DesktopSettings::apply(const QString& group, const QString& key, const std::optional<bool>& value)
{
    bool* field = nullptr;
    if (group == QLatin1StringView(interfaceNamespace) && key == QLatin1StringView(animationsKey))
        field = &animations_;
    else if (group == QLatin1StringView(soundNamespace) && key == QLatin1StringView(eventSoundsKey))
        field = &eventSounds_;
    if (!field)
        return;
    const bool next = value.value_or(true);
    if (*field == next)
        return;
    const bool motionBefore = reduceMotion();
    *field = next;
    if (field == &eventSounds_ || reduceMotion() != motionBefore)
        emit changed();
}
