#pragma once
// The two desktop switches the kit follows, read from the desktop portal's
// settings over D-Bus: org.gnome.desktop.interface enable-animations (false
// means reduce motion) and org.gnome.desktop.sound event-sounds. Each is
// read once at start and followed through SettingChanged. A missing bus,
// portal or key leaves the defaults (animations on, sounds allowed) and
// reports nothing. Main thread only.

#include "ui/animation.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>

#include <optional>

class Defaults;

class DesktopSettings : public QObject {
    Q_OBJECT

public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";
    static constexpr const char* interface = "org.freedesktop.portal.Settings";
    static constexpr const char* interfaceNamespace = "org.gnome.desktop.interface";
    static constexpr const char* animationsKey = "enable-animations";
    static constexpr const char* soundNamespace = "org.gnome.desktop.sound";
    static constexpr const char* eventSoundsKey = "event-sounds";

    // The process-wide settings on the session bus, with the defaults key
    // "reduceMotion" of the standard defaults as an override.
    static DesktopSettings& instance();

    // Asks `bus`; without a bus, keeps the defaults.
    explicit DesktopSettings(std::optional<QDBusConnection> bus, QObject* parent = nullptr);
    ~DesktopSettings() override;

    bool reduceMotion() const;
    bool eventSounds() const { return eventSounds_; }
    // The portal's own answer, before any override.
    bool animationsEnabled() const { return animations_; }
    // Reads still waiting for the portal's answer.
    int readsPending() const { return pending_; }

    // When set, reduce motion follows it instead of the desktop (tests, and
    // the defaults key "reduceMotion").
    void setReduceMotionOverride(std::optional<bool> reduce);
    static std::optional<bool> readReduceMotionOverride(const Defaults& defaults);

    // The animation, or none() while motion is reduced: slides, offsets and
    // scales go through this; fades do not.
    Animation movement(const Animation& animation) const
    {
        return animation.unless(reduceMotion());
    }

signals:
    void changed();

private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void read(const char* group, const char* key);
    // Applies one value; absent or not a Bool means the default.
    void apply(const QString& group, const QString& key, const std::optional<bool>& value);

    std::optional<QDBusConnection> bus_;
    std::optional<bool> override_;
    bool animations_ = true;
    bool eventSounds_ = true;
    int pending_ = 0;
};
