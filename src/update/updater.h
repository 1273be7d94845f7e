#pragma once
// The one object that keeps the running copy current: it reads the release
// feed, offers the newest release this copy may take, downloads and
// verifies its archive in the private work directory, swaps the installed
// bundle and relaunches. Lives on the main thread; the transfers run in Qt
// Network, the verification and the swap on the thread pool. Every step
// ends in a state: failures never leave the object, they become `failed`
// with a message already in the interface language.
//
// Views read the published fields and call check(), download(), install()
// and retry(); they write only the panel. Each field's signal fires only
// when a write changes its value.

#include "ui/scheduler.h"
#include "update/app_version.h"
#include "update/bundle_swap.h"
#include "update/release_feed.h"
#include "update/seal.h"
#include "update/update_error.h"

#include <QDateTime>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Defaults;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QFile;

class Updater : public QObject {
    Q_OBJECT

public:
    struct State {
        enum class Kind { available, downloading, failed, idle, checking, upToDate, verifying, readyToInstall, installing };
        Kind kind = Kind::idle;
        Release release;       // available
        double fraction = 0;   // downloading, 0...1
        QString message;       // failed
        bool manual = false;   // failed: only a hand update helps

        static State available(const Release& r) { State s; s.kind = Kind::available; s.release = r; return s; }
        static State downloading(double f) { State s; s.kind = Kind::downloading; s.fraction = f; return s; }
        static State failed(const QString& m, bool manual) { State s; s.kind = Kind::failed; s.message = m; s.manual = manual; return s; }
        static State of(Kind k) { State s; s.kind = k; return s; }

        bool busy() const;
        // The case's name, as tools print it.
        const char* name() const;
        friend bool operator==(const State& a, const State& b);
    };

    struct Panel {
        enum class Kind { whatsNew, update };
        Kind kind = Kind::update;
        Release release;  // whatsNew
        QString id() const;
        friend bool operator==(const Panel& a, const Panel& b);
    };

    // What this copy is and where it looks. standard() reads the running
    // bundle, the launch arguments and the built-in keys; tests and the
    // update harness fill in their own.
    struct Setup {
        std::optional<QString> bundle;  // the installed Tavrin.app; none for a development build
        std::optional<QString> versionText;
        int64_t build = 0;
        // Previous copies the recovery in standard() set beside the app,
        // for no trash there was safe to use: start() says so once.
        QStringList beside;
        QUrl feedURL;
        QString bundledFeed;  // the running copy's own feed, for its notes
        Seal::Keys keys;
        QString arch;
        QString systemVersion;  // major.minor.patch of the kernel
        Defaults* defaults = nullptr;
        QString workDirectory;
        // Whether an archive address may be fetched, given the feed's.
        std::function<bool(const QUrl&, const QUrl&)> allowDownload;
        // Extra trust for the transfers (tests' own certificate authority);
        // verification is never relaxed.
        std::optional<QSslConfiguration> tls;
        int transferTimeoutMs = 30000;
        // Whole-step ceilings, so a peer that drips forever cannot keep the
        // state busy.
        int feedDeadlineMs = 120000;
        int downloadDeadlineMs = 1800000;
        // Ends the application once the relaunch is on its way.
        std::function<void()> terminate;
        // Seconds on a clock that keeps counting while the machine sleeps
        // (CLOCK_BOOTTIME unless a test drives it); every wait of the
        // schedule is measured on it.
        std::function<double()> bootClock;
        // How the swap is made: an install uses the defaults; tests choose
        // the two-rename fallback and stop it midway.
        BundleSwap::ReplaceOptions swap;

        static Setup standard();
        // The same for the copy installed at `bundle`. An install cut short
        // there is finished or undone before its version is read, so a half
        // swap never passes for a copy of no version; while another copy
        // holds the update lock nothing is read at all.
        static Setup standard(const std::optional<QString>& bundle);
        // The feed address from launch arguments: the value after the first
        // "-updateFeed", as a URL when it has a scheme, else a file path.
        static QUrl feedFrom(const QStringList& arguments, const QUrl& fallback);
    };

    explicit Updater(Setup setup = Setup::standard(), QObject* parent = nullptr);
    ~Updater() override;

    // Published fields.
    const State& state() const { return state_; }
    const std::optional<Release>& pending() const { return pending_; }
    const std::optional<QDateTime>& lastCheck() const { return lastCheck_; }
    const std::optional<QString>& requiredSystem() const { return requiredSystem_; }
    const std::optional<Panel>& panel() const { return panel_; }
    void setPanel(const std::optional<Panel>& panel);

    // Read at creation, and read again under the update lock before each
    // download: only that reading decides what may be installed.
    const std::optional<QString>& currentVersionText() const { return setup_.versionText; }
    int64_t currentBuild() const { return setup_.build; }
    const std::optional<Release>& currentRelease() const { return currentRelease_; }
    const AppVersion& current() const { return current_; }
    const QUrl& feedURL() const { return setup_.feedURL; }
    const std::optional<QString>& staged() const { return staged_; }
    const std::optional<QString>& bundle() const { return setup_.bundle; }

    // Why the bundle at a path cannot replace itself (with the hint), and
    // which archive addresses a feed may name.
    static std::optional<QString> installBlocker(const QString& bundle);
    static bool isAllowedDownload(const QUrl& url, const QUrl& feed);

    static QUrl site();
    static QUrl allReleases();
    static QUrl defaultFeed();

    // What's New, then the schedule: the hourly pass (20 s after start,
    // at most one check a day while `autoCheck` says so), or, for a file
    // feed with "updateAutoInstall", check, download and install in one go.
    // Nothing in demo mode, and nothing by itself while the site is the
    // build's reserved default.
    void start(std::function<bool()> autoCheck);
    void check();
    void retry();
    void download();
    void install();

signals:
    void stateChanged();
    void pendingChanged();
    void lastCheckChanged();
    void requiredSystemChanged();
    void panelChanged();

private:
    void setState(const State& s);
    void setPending(const std::optional<Release>& r);
    void setLastCheck(const std::optional<QDateTime>& d);
    void setRequiredSystem(const std::optional<QString>& s);
    void applyFeed(const ReleaseFeed& feed);
    void failCheck(UpdateError error);
    void failCheck(const QString& message);
    // What a check ends on: `s`, unless copies that no trash took still
    // stand where recovery left them; their message stays until the user
    // has seen to them.
    State unlessCopiesLeft(const State& s);
    void hourlyPass(std::function<bool()> autoCheck);
    void autoInstallPoll();
    void afterBoot(double seconds, std::function<void()> action);
    void wakeAt(double due, std::function<void()> action);
    bool offerable(const Release& release) const;
    void fetchFeed();
    void fetchArchive(const Release& release, const Release::Download& download, const QUrl& url);
    void verifyArchive(const Release& release, const Release::Download& download);
    // Empties the work directory, lets go of the lock and fails.
    void failDownload(UpdateError error);
    void failDownload(const QString& message);
    QString noSpaceMessage() const;
    QNetworkRequest request(const QUrl& url) const;

    Setup setup_;
    State state_;
    std::optional<Release> pending_;
    std::optional<QDateTime> lastCheck_;
    std::optional<QString> requiredSystem_;
    std::optional<Panel> panel_;
    std::optional<Release> currentRelease_;
    AppVersion current_;
    std::optional<QString> staged_;
    std::optional<QDateTime> lastAttempt_;
    // Copies no trash took, as the last recovery named them, and why.
    QStringList left_;
    UpdateErrors::TrashTrouble leftFor_ = UpdateErrors::TrashTrouble::noSafeTrash;
    bool usesBootTimer_ = false;  // the real boot clock, with timers of its own
    // Issued for each download, so that a copy abandoned at its deadline
    // cannot report into a later one.
    Token transfer_;
    // The same for each read of a file feed.
    Token feedCheck_;
    // Each transfer has its own manager, so nothing is shared between
    // requests: no cookies, no cache, no connections.
    std::unique_ptr<QNetworkAccessManager> net_;
    struct Lock;
    std::unique_ptr<Lock> lock_;
};
