#pragma once
// Desktop notifications. The Monitor talks to a Notifier; the real one posts
// through the session bus's notification service, tests put a recorder in
// its place.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

class Notifier {
public:
    virtual ~Notifier() = default;

    // Asks once whether notifications can be shown. The answer is kept by
    // the notifier; nobody waits for it.
    virtual void requestPermission() = 0;
    // Shows one notification at once. `identifier` names it for the caller;
    // a notifier without permission drops it silently.
    virtual void post(const QString& identifier, const QString& title, const QString& body) = 0;
};

// org.freedesktop.Notifications on the session bus. Permission counts as
// granted once the service has answered a call; with no bus or no service
// nothing is ever posted and nothing is reported. No call waits for its
// reply, so the main thread never waits on the notification server.
// Titles and bodies are given as plain text. A server that announces
// "body-markup" reads the body as markup, so there the body goes out with
// its markup characters escaped: a process named "<b>x" shows as such. The
// title (the summary) is plain text for every server and goes out as given.
class DesktopNotifier final : public Notifier {
public:
    // The session bus, connected on first use, unless another bus is given.
    DesktopNotifier();
    explicit DesktopNotifier(const QDBusConnection& bus);
    ~DesktopNotifier() override;

    void requestPermission() override;
    void post(const QString& identifier, const QString& title, const QString& body) override;

    bool granted() const { return granted_; }
    // Whether the bus has answered the request, for the service or for its
    // absence.
    bool answered() const { return answered_; }
    // Whether the server reads bodies as markup.
    bool bodyMarkup() const { return markup_; }
    // `&`, `<` and `>` as entities.
    static QString escapeMarkup(const QString& text);

    static constexpr const char* service = "org.freedesktop.Notifications";
    static constexpr const char* path = "/org/freedesktop/Notifications";
    static constexpr const char* interface = "org.freedesktop.Notifications";

private:
    QDBusConnection bus() const;

    std::optional<QDBusConnection> bus_;
    // Guards the reply handlers: replies that arrive after the notifier is
    // gone find no receiver.
    QObject context_;
    bool granted_ = false;
    bool markup_ = false;
    bool asked_ = false;
    bool answered_ = false;
};
