#pragma once
// One copy of the program per desktop session: a second start hands over
// to the copy that already runs there, which shows its window, and ends.
// The copies meet at a local socket in the user's runtime folder, named by
// the user and the session, so other sessions and other displays still run
// copies of their own. Only a runtime folder of the user's own will do, and
// only a listener of the same user is handed over to; without either each
// start runs a copy of its own.

#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <string>
#include <sys/types.h>

class QSocketNotifier;
class RuntimeFolder;

class SingleCopy : public QObject {
    Q_OBJECT

public:
    // What tells one session from another: the windowing system, the
    // display it draws on and the login session.
    static QString sessionKey(const QProcessEnvironment& env, const QString& platform);
    // The meeting socket of user `uid` in that session, in
    // $XDG_RUNTIME_DIR; empty when that is unset or not absolute. Nowhere
    // else will do: a folder such as /tmp is open to every user.
    static QString socketPath(const QProcessEnvironment& env, const QString& platform, uid_t uid);
    // The same for this process.
    static QString socketPath();

    // Meets at `path`; an empty one means there is no runtime folder.
    explicit SingleCopy(const QString& path, QObject* parent = nullptr);
    ~SingleCopy() override;

    enum class Role {
        first,      // no copy was there: this one listens for later starts
        handedOver, // a copy was there and was asked to show its window
        alone,      // neither could be done: this copy runs on its own
    };
    // Says why in the log, once, when it comes to `alone`.
    Role claim();

    const QString& path() const { return path_; }

    // A connection is held until it has asked and been answered, for at
    // most idleSeconds, and at most maxHeld at once: later ones wait in the
    // kernel's queue, so no peer uses up this copy's descriptors here.
    static constexpr int maxHeld = 4;
    static constexpr double idleSeconds = 2;
    // Connections taken and not yet closed.
    int held() const { return held_; }
    // Whether new connections are being taken now.
    bool accepting() const;

signals:
    // A later start asked this copy to show its window.
    void showRequested();

private:
    enum class Answer { nobody, shown, silent, stranger };
    Answer handOver();
    void accept();
    void serve(int fd);
    void pause(double seconds);
    void released();

    QString path_;
    std::unique_ptr<RuntimeFolder> folder_;
    std::string name_;
    int listener_ = -1;
    QSocketNotifier* incoming_ = nullptr;
    // Kept open to be given up when descriptors run out, so that a later
    // start is still answered then.
    int reserve_ = -1;
    int held_ = 0;
    bool paused_ = false;
};
