#include "update/updater.h"

#include "core/demo_mode.h"
#include "core/l10n.h"
#include "platform/boot_timer.h"
#include "platform/defaults.h"
#include "platform/user_file.h"
#include "ui/scheduler.h"
#include "update/bundle_info.h"
#include "update/bundle_swap.h"
#include "update/unique_fd.h"
#include "update/update_rules.h"
#include "update/update_verify.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <openssl/crypto.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <vector>

// The compiled-in feed sits in a static library, so it is registered by hand.
static void registerFeedResource() { Q_INIT_RESOURCE(releases); }

namespace {

constexpr qint64 feedCap = 1048576;
// No archive of ours comes near this; the expansion has a cap of the same
// order.
constexpr qint64 downloadCap = qint64(2) << 30;
// A size a feed may declare for an archive.
bool fetchable(qint64 size) { return size >= 1 && size <= downloadCap; }
constexpr double pollInterval = 0.3;
constexpr double firstPass = 20;
constexpr double passInterval = 3600;
// A clock a test drives has no timer of its own: its waits wake at least
// this often on the scheduler to look at it.
constexpr double bootSlice = 10;
constexpr qint64 oneDay = 86400;

// Runs `work` on the thread pool and hands its result back to the main
// thread, where it is dropped if the updater has gone meanwhile.
template <typename Result>
void offMain(Updater* self, std::function<Result()> work, std::function<void(Updater&, Result)> done)
{
    QPointer<Updater> guard(self);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), done = std::move(done)] {
        Result result = work();
        // The pool's thread may outlive the program's last use of the
        // library; its per-thread error state is let go now rather than at
        // the thread's end, which an exiting program may never reach.
        OPENSSL_thread_stop();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done, result = std::move(result)] {
                if (guard)
                    done(*guard, result);
            },
            Qt::QueuedConnection);
    });
}

struct FeedResult {
    std::optional<ReleaseFeed> feed;
    UpdateError error = UpdateError::feedUnreachable;
    // A local feed that is not there, not a full path, not a regular file
    // or closed to us: said as such, never blamed on the network.
    std::optional<UpdateErrors::FileTrouble> trouble = std::nullopt;
};

FeedResult decodeFeed(const QByteArray& body)
{
    if (body.size() > feedCap)
        return {std::nullopt, UpdateError::feedInvalid};
    auto feed = ReleaseFeed::decode(body);
    if (!feed)
        return {std::nullopt, UpdateError::feedInvalid};
    return {std::move(feed), UpdateError::feedInvalid};
}

// Opens a local file the updater was given, once and without waiting: only
// a regular file named by a full path. What is wrong otherwise goes to
// `trouble`.
UniqueFd openLocal(const QString& path, std::optional<UpdateErrors::FileTrouble>& trouble)
{
    using Trouble = UpdateErrors::FileTrouble;
    if (!QFileInfo(path).isAbsolute()) {
        trouble = Trouble::relative;
        return UniqueFd();
    }
    RegularFile r = openRegular(QFile::encodeName(path));
    if (r.error)
        trouble = r.error == ENOENT || r.error == ENOTDIR ? Trouble::missing : Trouble::unreadable;
    else if (r.notAFile)
        trouble = Trouble::notAFile;
    return std::move(r.file);
}

// Read as a local archive is: opened once and never waited on, only a
// regular file, and given up once `stop` is set. Links are fine for a feed
// named on the command line; what they reach is what is judged.
FeedResult readFeedFile(const QString& path, const std::atomic<bool>& stop)
{
    FeedResult refused;
    UniqueFd f = openLocal(path, refused.trouble);
    if (f.fd < 0)
        return refused;
    QByteArray bytes;
    std::vector<char> buf(1 << 16);
    for (;;) {
        if (stop)
            return {std::nullopt, UpdateError::feedUnreachable};
        const ssize_t n = ::read(f.fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {std::nullopt, UpdateError::feedUnreachable};
        if (n == 0)
            break;
        bytes.append(buf.data(), n);
        if (bytes.size() > feedCap)
            return {std::nullopt, UpdateError::feedInvalid};
    }
    return decodeFeed(bytes);
}

// How a copy or a download into the work directory ended; `tooLong` when
// it ran past the size the feed declares, which is no fault of the network.
enum class Fetched { ok, failed, noSpace, tooLong };

struct Copied {
    Fetched fetched = Fetched::failed;
    std::optional<UpdateErrors::FileTrouble> trouble = std::nullopt;  // the archive could not be opened
};

// Copies a local archive, never more than one byte past what the feed
// declares, and gives up once `stop` is set. Only a regular file is read: a
// pipe or a device could block or never end.
Copied copyCapped(const QString& from, int workFd, qint64 expected, const std::atomic<bool>& stop,
                  std::function<void(qint64)> progress)
{
    Copied refused;
    if (expected < 1)
        return refused;
    UniqueFd in = openLocal(from, refused.trouble);
    if (in.fd < 0)
        return refused;
    UniqueFd out(::openat(workFd, "Tavrin.zip", O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.fd < 0)
        return {UserFile::isNoSpace(errno) ? Fetched::noSpace : Fetched::failed};
    qint64 written = 0;
    std::vector<char> buf(1 << 20);
    for (;;) {
        if (stop)
            return refused;
        const ssize_t n = ::read(in.fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refused;
        if (n == 0)
            break;
        written += n;
        if (written > expected)
            return {Fetched::tooLong};
        if (const int error = UserFile::writeAll(out.fd, buf.data(), size_t(n)))
            return {UserFile::isNoSpace(error) ? Fetched::noSpace : Fetched::failed};
        progress(written);
    }
    // Some file systems say they are full only at the close.
    if (::close(std::exchange(out.fd, -1)) != 0)
        return {UserFile::isNoSpace(errno) ? Fetched::noSpace : Fetched::failed};
    return {Fetched::ok};
}

// Why nothing can be installed at the bundle's name once recovery is done:
// something else or nothing stands there, or the previous copy waits at
// `kept` because it could not go back.
QString missingBundle(const QString& bundle, const QString& kept)
{
    if (kept.isEmpty())
        return UpdateErrors::noBundle(bundle, BundleSwap::standIn(bundle));
    struct stat st {};
    return UpdateErrors::previousKept(bundle, kept, ::lstat(QFile::encodeName(bundle).constData(), &st) == 0);
}

QString anotherCopyUpdating()
{
    return L10n::text("Another copy of Tavrin is updating. Try again when it has finished.",
                      "另一个 Tavrin 正在更新，请在它完成后重试。");
}

// The version of the bundle of ours at `bundle`; none when there is no
// such bundle or it names none.
struct Installed {
    std::optional<QString> versionText;
    int64_t build = 0;

    AppVersion key() const
    {
        return AppVersion::parse(versionText.value_or(QString())).value_or(AppVersion{{0}}).with(build);
    }
};

// Another run installed a copy at least as new as the release on offer
// since this run read the installed version.
QString changedMeanwhile()
{
    return L10n::text("Another copy of Tavrin changed it meanwhile, and this release is not newer than the copy now "
                      "installed. Check for updates again.",
                      "另一个 Tavrin 在此期间改动了它，这个版本并不比现在安装的新。请重新检查更新。");
}

Installed installedAt(const QString& bundle)
{
    Installed found;
    // Only a bundle of ours speaks for the copy; whatever else stands at
    // its name has no version.
    if (BundleSwap::isBundle(bundle)) {
        if (auto info = BundleInfo::read(bundle)) {
            found.versionText = info->version;
            found.build = info->build;
        }
    }
    return found;
}

// The desktop's proxy settings, as every other program of the session uses.
class SystemProxies final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override { return systemProxyForQuery(query); }
};

// A manager of its own for each transfer: no cache, and cookies that die
// with it.
std::unique_ptr<QNetworkAccessManager> freshManager()
{
    auto manager = std::make_unique<QNetworkAccessManager>();
    manager->setProxyFactory(new SystemProxies);
    manager->setCookieJar(new QNetworkCookieJar);
    return manager;
}

} // namespace

struct Updater::Lock {
    std::unique_ptr<BundleSwap::WorkLock> held;
    // The work directory of the update under way, checked and held open:
    // the archive, its expansion and the staged copy are reached only
    // through it.
    std::shared_ptr<const BundleSwap::WorkFolder> work;
};

bool Updater::State::busy() const
{
    return kind == Kind::downloading || kind == Kind::checking || kind == Kind::verifying || kind == Kind::installing;
}

const char* Updater::State::name() const
{
    switch (kind) {
    case Kind::available: return "available";
    case Kind::downloading: return "downloading";
    case Kind::failed: return "failed";
    case Kind::idle: return "idle";
    case Kind::checking: return "checking";
    case Kind::upToDate: return "upToDate";
    case Kind::verifying: return "verifying";
    case Kind::readyToInstall: return "readyToInstall";
    case Kind::installing: return "installing";
    }
    return "";
}

bool operator==(const Updater::State& a, const Updater::State& b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Updater::State::Kind::available: return a.release == b.release;
    case Updater::State::Kind::downloading: return a.fraction == b.fraction;
    case Updater::State::Kind::failed: return a.message == b.message && a.manual == b.manual;
    default: return true;
    }
}

QString Updater::Panel::id() const
{
    return kind == Kind::update ? QStringLiteral("update") : QStringLiteral("whatsNew-") + release.version;
}

bool operator==(const Updater::Panel& a, const Updater::Panel& b)
{
    return a.kind == b.kind && (a.kind == Updater::Panel::Kind::update || a.release == b.release);
}

std::optional<QString> Updater::installBlocker(const QString& bundle) { return UpdateRules::installBlocker(bundle); }
bool Updater::isAllowedDownload(const QUrl& url, const QUrl& feed) { return UpdateRules::isAllowedDownload(url, feed); }
QUrl Updater::site() { return UpdateRules::site(); }
QUrl Updater::allReleases() { return UpdateRules::allReleases(); }
QUrl Updater::defaultFeed() { return UpdateRules::defaultFeed(); }

QUrl Updater::Setup::feedFrom(const QStringList& arguments, const QUrl& fallback)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("-updateFeed"));
    if (at < 0 || at + 1 >= arguments.size())
        return fallback;
    const QString value = arguments.at(at + 1);
    const QUrl url(value, QUrl::StrictMode);
    // A single letter before the colon is a drive, not a scheme; neither
    // happens here, but a bare path must never pass for a URL.
    if (url.isValid() && !url.scheme().isEmpty() && !value.startsWith(u'/'))
        return UpdateRules::withoutLocalhost(url);
    return QUrl::fromLocalFile(QFileInfo(value).absoluteFilePath());
}

Updater::Setup Updater::Setup::standard() { return standard(BundleInfo::runningBundle()); }

Updater::Setup Updater::Setup::standard(const std::optional<QString>& bundle)
{
    Setup s;
    s.workDirectory = BundleSwap::workDirectory();
    if (bundle) {
        s.bundle = BundleSwap::resolvedBundle(*bundle);
        // Recovery first, and the version read while the lock is held:
        // read before recovery, a half swap would count as no version at
        // all, and any release, even an older one, would be offered. A
        // start that finds another copy at work recovers nothing for now
        // and reads what stands there: every download reads it again under
        // the lock, and takes only a release newer than that.
        if (!DemoMode::isOn()) {
            if (const auto held = BundleSwap::WorkLock::take(s.workDirectory))
                s.beside = BundleSwap::recover(*s.bundle).beside;
        }
        const Installed installed = installedAt(*s.bundle);
        s.versionText = installed.versionText;
        s.build = installed.build;
    }
    // Skip the program name: the rule looks at arguments only.
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty())
        args.removeFirst();
    s.feedURL = feedFrom(args, UpdateRules::defaultFeed());
    s.bundledFeed = QStringLiteral(":/update/releases.json");
    s.keys = Seal::builtIn();
    s.arch = Seal::architecture();
    s.systemVersion = UpdateRules::systemVersionText();
    s.defaults = &Defaults::standard();
    s.allowDownload = [](const QUrl& url, const QUrl& feed) { return UpdateRules::isAllowedDownload(url, feed); };
    s.terminate = [] { QCoreApplication::quit(); };
    return s;
}

Updater::Updater(Setup setup, QObject* parent)
    : QObject(parent)
    , setup_(std::move(setup))
    , lock_(std::make_unique<Lock>())
{
    // The bundle's folder is resolved once, so a ~/Applications that is a
    // link is held to the checks of the folder it leads to, and every later
    // step names that folder.
    if (setup_.bundle)
        setup_.bundle = BundleSwap::resolvedBundle(*setup_.bundle);
    setup_.feedURL = UpdateRules::withoutLocalhost(setup_.feedURL);
    if (!setup_.allowDownload)
        setup_.allowDownload = [](const QUrl& url, const QUrl& feed) { return UpdateRules::isAllowedDownload(url, feed); };
    if (!setup_.terminate)
        setup_.terminate = [] {};
    if (!setup_.bootClock) {
        setup_.bootClock = BootTimer::now;
        usesBootTimer_ = true;
    }
    if (setup_.defaults) {
        const QDateTime stored =
            QDateTime::fromString(setup_.defaults->stringValue(QStringLiteral("updateLastCheck")), Qt::ISODateWithMs);
        if (stored.isValid())
            lastCheck_ = stored;
    }
    current_ = AppVersion::parse(setup_.versionText.value_or(QString())).value_or(AppVersion{{0}}).with(setup_.build);
    registerFeedResource();
    if (setup_.versionText && !setup_.bundledFeed.isEmpty()) {
        QFile f(setup_.bundledFeed);
        if (f.open(QIODevice::ReadOnly)) {
            if (auto feed = ReleaseFeed::decode(f.read(feedCap + 1))) {
                if (const Release* own = feed->entryFor(*setup_.versionText))
                    currentRelease_ = *own;
            }
        }
    }
}

Updater::~Updater() = default;

void Updater::setState(const State& s)
{
    if (state_ == s)
        return;
    state_ = s;
    emit stateChanged();
}

void Updater::setPending(const std::optional<Release>& r)
{
    if (pending_ == r)
        return;
    pending_ = r;
    emit pendingChanged();
}

void Updater::setLastCheck(const std::optional<QDateTime>& d)
{
    if (lastCheck_ == d)
        return;
    lastCheck_ = d;
    emit lastCheckChanged();
}

void Updater::setRequiredSystem(const std::optional<QString>& s)
{
    if (requiredSystem_ == s)
        return;
    requiredSystem_ = s;
    emit requiredSystemChanged();
}

void Updater::setPanel(const std::optional<Panel>& panel)
{
    if (panel_ == panel)
        return;
    panel_ = panel;
    emit panelChanged();
}

void Updater::start(std::function<bool()> autoCheck)
{
    if (setup_.defaults && setup_.versionText) {
        const QString seen = setup_.defaults->stringValue(QStringLiteral("lastSeenVersion"));
        if (!seen.isEmpty() && seen != *setup_.versionText && currentRelease_)
            setPanel(Panel{Panel::Kind::whatsNew, *currentRelease_});
        setup_.defaults->set(QStringLiteral("lastSeenVersion"), *setup_.versionText);
    }
    if (setup_.defaults && setup_.defaults->boolValue(QStringLiteral("showWhatsNew")) && currentRelease_)
        setPanel(Panel{Panel::Kind::whatsNew, *currentRelease_});

    if (DemoMode::isOn())
        return;
    // An install killed midway is finished or undone first. Where another
    // copy is at work (another start's recovery, or an install under way)
    // that waits for a later start, and the schedule goes on: a download
    // says so if that copy is still at work then. A previous copy that
    // could not go back stays where it is, and nothing goes on until the
    // user has put it back.
    if (setup_.bundle && !setup_.workDirectory.isEmpty()) {
        const auto held = BundleSwap::WorkLock::take(setup_.workDirectory);
        const BundleSwap::Recovery recovered = held ? BundleSwap::recover(*setup_.bundle) : BundleSwap::Recovery{};
        if (held && !recovered.busy && !recovered.lockInTheWay) {
            if (!recovered.kept.isEmpty()) {
                setState(State::failed(missingBundle(*setup_.bundle, recovered.kept), true));
                return;
            }
            // Copies no trash could take are named at every start, and the
            // schedule goes on; an install waits until they are gone. Those
            // set beside the app are said once, and hold nothing back.
            left_ = recovered.left;
            leftFor_ = recovered.leftFor;
            const QStringList beside = setup_.beside + recovered.beside;
            if (!left_.isEmpty())
                setState(State::failed(UpdateErrors::copiesLeft(left_, leftFor_), false));
            else if (!beside.isEmpty())
                setState(State::failed(UpdateErrors::copiesBeside(beside), false));
        }
    }
    if (setup_.feedURL.isLocalFile() && setup_.defaults
        && setup_.defaults->boolValue(QStringLiteral("updateAutoInstall"))) {
        check();
        afterBoot(pollInterval, [this] { autoInstallPoll(); });
        return;
    }
    // A build that names no site of its own contacts nobody unasked.
    if (UpdateRules::siteIsDefault() && setup_.feedURL == UpdateRules::defaultFeed())
        return;
    afterBoot(firstPass, [this, autoCheck] { hourlyPass(autoCheck); });
}

void Updater::autoInstallPoll()
{
    switch (state_.kind) {
    case State::Kind::available:
        download();
        break;
    case State::Kind::readyToInstall:
        install();
        return;
    case State::Kind::upToDate:
    case State::Kind::failed:
        return;
    default:
        break;
    }
    afterBoot(pollInterval, [this] { autoInstallPoll(); });
}

void Updater::hourlyPass(std::function<bool()> autoCheck)
{
    if (autoCheck && autoCheck()
        && (!lastAttempt_ || lastAttempt_->secsTo(QDateTime::currentDateTimeUtc()) >= oneDay))
        check();
    afterBoot(passInterval, [this, autoCheck] { hourlyPass(autoCheck); });
}

void Updater::afterBoot(double seconds, std::function<void()> action)
{
    wakeAt(setup_.bootClock() + seconds, std::move(action));
}

void Updater::wakeAt(double due, std::function<void()> action)
{
    if (usesBootTimer_) {
        BootTimer::at(due, this, std::move(action));
        return;
    }
    const double left = due - setup_.bootClock();
    if (left <= 0) {
        action();
        return;
    }
    Scheduler::current().after(std::min(left, bootSlice), this,
                               [this, due, action = std::move(action)] { wakeAt(due, action); });
}

void Updater::check()
{
    if (state_.busy() || state_.kind == State::Kind::readyToInstall)
        return;
    if (DemoMode::isOn()) {
        setState(State::of(State::Kind::upToDate));
        return;
    }
    // A build without a site of its own has nothing to ask: it says so
    // rather than blaming the network for a request it never makes.
    if (UpdateRules::feedIsUnset(setup_.feedURL)) {
        setState(State::failed(UpdateRules::noSiteMessage(), false));
        return;
    }
    setState(State::of(State::Kind::checking));
    lastAttempt_ = QDateTime::currentDateTimeUtc();
    fetchFeed();
}

void Updater::retry()
{
    if (pending_ && pending_->download)
        download();
    else
        check();
}

QNetworkRequest Updater::request(const QUrl& url) const
{
    QNetworkRequest r(url);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    r.setRawHeader("User-Agent", "Tavrin");
    r.setRawHeader("Accept-Language", "en");
    r.setTransferTimeout(setup_.transferTimeoutMs);
    if (setup_.tls)
        r.setSslConfiguration(*setup_.tls);
    return r;
}

void Updater::fetchFeed()
{
    const QUrl url = setup_.feedURL;
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        const std::uint64_t issued = feedCheck_.issue();
        auto stop = std::make_shared<std::atomic<bool>>(false);
        // A read that outlives the deadline is abandoned like a download.
        Scheduler::current().after(setup_.feedDeadlineMs / 1000.0, this, [this, issued, stop] {
            if (!feedCheck_.isLatest(issued) || state_.kind != State::Kind::checking)
                return;
            *stop = true;
            failCheck(UpdateError::feedUnreachable);
        });
        offMain<FeedResult>(
            this, [path, stop] { return readFeedFile(path, *stop); },
            [issued, path](Updater& self, FeedResult r) {
                if (!self.feedCheck_.isLatest(issued) || self.state_.kind != State::Kind::checking)
                    return;
                if (r.feed)
                    self.applyFeed(*r.feed);
                else if (r.trouble)
                    self.failCheck(UpdateErrors::localFile(UpdateErrors::LocalFile::feed, *r.trouble, path));
                else
                    self.failCheck(r.error);
            });
        return;
    }
    // The reserved default site never resolves: a build without a site
    // of its own asks nobody, not even the name server.
    if (url.scheme().compare(u"https", Qt::CaseInsensitive) != 0
        || (UpdateRules::siteIsDefault() && url == UpdateRules::defaultFeed())) {
        Scheduler::current().after(0, this, [this] { failCheck(UpdateError::feedUnreachable); });
        return;
    }
    net_ = freshManager();
    QNetworkRequest req = request(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = net_->get(req);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    auto refused = std::make_shared<bool>(false);
    // A redirect is followed only over https to the feed's own host and
    // port, as a download's address must be on the site's, and is judged
    // before anything is asked of the new address.
    const auto sameSite = [url](const QUrl& to) {
        return to.scheme().compare(u"https", Qt::CaseInsensitive) == 0
            && to.host().compare(url.host(), Qt::CaseInsensitive) == 0 && to.port(443) == url.port(443);
    };
    connect(reply, &QNetworkReply::redirected, this, [reply, sameSite, refused](const QUrl& to) {
        if (sameSite(to)) {
            emit reply->redirectAllowed();
        } else {
            *refused = true;
            reply->abort();
        }
    });
    // Only a good answer's body is the feed; the size of an error page
    // says nothing about it.
    connect(reply, &QNetworkReply::readyRead, this, [reply, body, tooLarge] {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
            reply->readAll();
            return;
        }
        body->append(reply->readAll());
        if (body->size() > feedCap && !*tooLarge) {
            *tooLarge = true;
            reply->abort();
        }
    });
    Scheduler::current().after(setup_.feedDeadlineMs / 1000.0, reply, [reply] { reply->abort(); });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, tooLarge, refused, sameSite] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool answered = !*refused && status == 200 && sameSite(reply->url());
        if (answered && *tooLarge) {
            failCheck(UpdateError::feedInvalid);
            return;
        }
        if (!answered || reply->error() != QNetworkReply::NoError) {
            failCheck(UpdateError::feedUnreachable);
            return;
        }
        if (reply->isOpen())
            body->append(reply->readAll());
        if (body->size() > feedCap) {
            failCheck(UpdateError::feedInvalid);
            return;
        }
        const QByteArray bytes = *body;
        offMain<FeedResult>(
            this, [bytes] { return decodeFeed(bytes); },
            [](Updater& self, FeedResult r) {
                if (r.feed)
                    self.applyFeed(*r.feed);
                else
                    self.failCheck(r.error);
            });
    });
}

void Updater::applyFeed(const ReleaseFeed& feed)
{
    const Release* newest = nullptr;
    std::optional<AppVersion> newestKey;
    // The newest newer release whose entry gives a size no download has.
    const Release* invalid = nullptr;
    std::optional<AppVersion> invalidKey;
    for (const Release& r : feed.releases) {
        auto key = r.key();
        if (!key || !(*key > current_) || !offerable(r))
            continue;
        if (!fetchable(r.download->size)) {
            if (!invalidKey || *key > *invalidKey) {
                invalid = &r;
                invalidKey = key;
            }
            continue;
        }
        if (!newestKey || *key > *newestKey) {
            newest = &r;
            newestKey = key;
        }
    }
    // Nothing else to offer: say the entry is wrong rather than nothing is new.
    if (!newest && invalid) {
        failCheck(UpdateErrors::invalidRelease(invalid->version, invalid->download->size));
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    setLastCheck(now);
    if (setup_.defaults)
        setup_.defaults->set(QStringLiteral("updateLastCheck"), now.toString(Qt::ISODateWithMs));
    if (newest && feed.minimumSystemVersion) {
        const auto required = AppVersion::parse(*feed.minimumSystemVersion);
        const AppVersion system = AppVersion::parse(setup_.systemVersion).value_or(AppVersion{{0}}).with(0);
        if (!required || AppVersion{{system.fields[0], system.fields[1], system.fields[2]}} < *required) {
            setRequiredSystem(*feed.minimumSystemVersion);
            setPending(std::nullopt);
            setState(unlessCopiesLeft(State::of(State::Kind::upToDate)));
            return;
        }
    }
    setRequiredSystem(std::nullopt);
    setPending(newest ? std::optional<Release>(*newest) : std::nullopt);
    setState(unlessCopiesLeft(newest ? State::available(*newest) : State::of(State::Kind::upToDate)));
}

// Whether this copy could take the release at all: an archive for this
// architecture. A newer release that fails here, or gives a size no
// archive has, does not hide an older one that passes. One whose address
// this copy may not fetch is offered all the same: its download says why
// it stops.
bool Updater::offerable(const Release& r) const
{
    return r.download && (!r.arch || *r.arch == setup_.arch);
}

void Updater::failCheck(UpdateError error) { failCheck(UpdateErrors::message(error)); }

void Updater::failCheck(const QString& message)
{
    setState(unlessCopiesLeft(pending_ ? State::available(*pending_) : State::failed(message, false)));
}

Updater::State Updater::unlessCopiesLeft(const State& s)
{
    // Those the user has moved or deleted meanwhile are no longer named.
    left_.removeIf([](const QString& copy) {
        struct stat st {};
        return ::lstat(QFile::encodeName(copy).constData(), &st) != 0 && errno == ENOENT;
    });
    return left_.isEmpty() ? s : State::failed(UpdateErrors::copiesLeft(left_, leftFor_), false);
}

namespace {

// The work folder's own trouble is no network fault: say which folder.
QString workFolderRefused(const QString& folder)
{
    return L10n::isChinese()
        ? QStringLiteral("无法准备更新文件夹 %1。请确认它属于你、其他用户不可写，然后重试。").arg(folder)
        : QStringLiteral("Couldn\u2019t prepare the update folder %1. Make sure it is yours and other users "
                         "can\u2019t write to it, then try again.")
              .arg(folder);
}

} // namespace

void Updater::download()
{
    if (state_.busy() || state_.kind == State::Kind::readyToInstall)
        return;
    if (!pending_ || !pending_->download)
        return;
    const QString bundle = setup_.bundle.value_or(QCoreApplication::applicationDirPath());
    if (auto blocker = UpdateRules::installBlocker(bundle)) {
        setState(State::failed(*blocker, true));
        return;
    }
    const Release release = *pending_;
    const Release::Download dl = *release.download;
    const QUrl url = UpdateRules::withoutLocalhost(QUrl(dl.url, QUrl::StrictMode));
    if (!url.isValid() || url.scheme().isEmpty() || !setup_.allowDownload(url, setup_.feedURL)) {
        setState(State::failed(UpdateErrors::message(UpdateError::downloadURLNotAllowed), false));
        return;
    }
    if (!fetchable(dl.size)) {
        setState(State::failed(UpdateErrors::invalidRelease(release.version, dl.size), false));
        return;
    }
    // One update at a time per user. Another copy's update, staged or on
    // its way, is left exactly as it is.
    if (!lock_->held) {
        bool busy = false;
        std::optional<BundleSwap::InTheWay> inTheWay;
        lock_->held = BundleSwap::WorkLock::take(setup_.workDirectory, &busy, &inTheWay);
        if (!lock_->held) {
            // Said of the folder it resolves to, where that is what is wrong.
            const QString cache = QFileInfo(setup_.workDirectory).absolutePath();
            const auto unsafe = busy || inTheWay ? std::nullopt : BundleSwap::unsafeFolderOnPath(cache);
            setState(State::failed(busy       ? anotherCopyUpdating()
                                   : inTheWay ? UpdateErrors::lockInTheWay(inTheWay->path, inTheWay->kind)
                                   : unsafe && unsafe->fault != UpdateErrors::FolderFault::notAFolder
                                       ? UpdateErrors::unsafeUpdateFolder(unsafe->path, unsafe->fault)
                                       : workFolderRefused(cache),
                                   false));
            return;
        }
    }
    // Nothing of another copy's is here: the lock is ours. Without a
    // bundle of ours at its name there is nothing to replace, and nothing
    // to download for.
    const BundleSwap::Recovery recovered = BundleSwap::recover(bundle);
    // A run with an update folder of its own is swapping beside the app.
    if (recovered.busy || recovered.lockInTheWay) {
        lock_->held.reset();
        setState(State::failed(recovered.busy ? anotherCopyUpdating()
                                              : UpdateErrors::lockInTheWay(recovered.lockInTheWay->path,
                                                                           recovered.lockInTheWay->kind),
                               false));
        return;
    }
    if (!recovered.present) {
        lock_->held.reset();
        setState(State::failed(missingBundle(bundle, recovered.kept), true));
        return;
    }
    // Each install would leave one more whole copy where no trash takes
    // them: none goes on until the user has dealt with those there.
    left_ = recovered.left;
    leftFor_ = recovered.leftFor;
    if (!left_.isEmpty()) {
        lock_->held.reset();
        setState(State::failed(UpdateErrors::copiesLeft(left_, leftFor_), false));
        return;
    }
    // The installed version is read again now that the lock is ours and
    // recovery is done: another copy may have swapped the bundle since it
    // was last read. Only a release newer than what stands there now goes
    // on.
    const Installed installed = installedAt(bundle);
    setup_.versionText = installed.versionText;
    setup_.build = installed.build;
    current_ = installed.key();
    const auto offered = release.key();
    if (!offered || !(*offered > current_)) {
        lock_->held.reset();
        // The offer was made against an older reading: the next try checks
        // the feed again.
        setPending(std::nullopt);
        setState(State::failed(changedMeanwhile(), false));
        return;
    }
    // A work folder that could not be made ours is left as it is: it may be
    // another account's. One that others could swap, or a folder on the way
    // to it, is named before anything is fetched.
    QString wrong;
    std::optional<BundleSwap::UnsafeFolder> unsafe;
    lock_->work = BundleSwap::freshWorkFolder(*lock_->held, &unsafe, &wrong);
    if (!lock_->work) {
        lock_->held.reset();
        setState(State::failed(unsafe ? UpdateErrors::unsafeUpdateFolder(unsafe->path, unsafe->fault)
                                      : workFolderRefused(wrong),
                               false));
        return;
    }
    setState(State::downloading(0));
    fetchArchive(release, dl, url);
}

void Updater::failDownload(UpdateError error) { failDownload(UpdateErrors::message(error)); }

QString Updater::noSpaceMessage() const
{
    return UpdateErrors::notEnoughSpace(QFileInfo(setup_.workDirectory).absolutePath());
}

void Updater::failDownload(const QString& message)
{
    if (lock_->work)
        BundleSwap::removeWorkFolder(*lock_->work);
    lock_->work.reset();
    lock_->held.reset();
    setState(State::failed(message, false));
}

void Updater::fetchArchive(const Release& release, const Release::Download& dl, const QUrl& url)
{
    const auto work = lock_->work;
    const qint64 expected = dl.size;
    QPointer<Updater> guard(this);
    auto reported = std::make_shared<double>(-1.0);
    // Progress in steps of at least a hundredth, and every write that
    // reaches the whole; late reports are dropped.
    auto report = [guard, reported, expected](qint64 written) {
        const double f = double(written) / double(expected);
        if (f < 1.0 && f - *reported < 0.01)
            return;
        *reported = f;
        auto apply = [guard, f] {
            if (guard && guard->state_.kind == State::Kind::downloading)
                guard->setState(State::downloading(f));
        };
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            apply();
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), apply, Qt::QueuedConnection);
    };

    const std::uint64_t issued = transfer_.issue();
    if (url.isLocalFile()) {
        const QString from = url.toLocalFile();
        auto stop = std::make_shared<std::atomic<bool>>(false);
        // A copy that outlives the deadline is abandoned: its worker stops
        // at its next read, and what it reports later goes nowhere.
        Scheduler::current().after(setup_.downloadDeadlineMs / 1000.0, this, [this, issued, stop] {
            if (!transfer_.isLatest(issued) || state_.kind != State::Kind::downloading)
                return;
            *stop = true;
            failDownload(UpdateError::downloadFailed);
        });
        offMain<Copied>(
            this,
            [from, work, expected, stop, report] { return copyCapped(from, work->fd.fd, expected, *stop, report); },
            [release, dl, issued, from](Updater& self, Copied copied) {
                if (!self.transfer_.isLatest(issued) || self.state_.kind != State::Kind::downloading)
                    return;
                if (copied.trouble)
                    return self.failDownload(
                        UpdateErrors::localFile(UpdateErrors::LocalFile::archive, *copied.trouble, from));
                if (copied.fetched == Fetched::noSpace)
                    return self.failDownload(self.noSpaceMessage());
                if (copied.fetched == Fetched::tooLong)
                    return self.failDownload(UpdateError::sizeMismatch);
                if (copied.fetched != Fetched::ok)
                    return self.failDownload(UpdateError::downloadFailed);
                self.verifyArchive(release, dl);
            });
        return;
    }

    auto file = std::make_shared<UniqueFd>(
        ::openat(work->fd.fd, "Tavrin.zip", O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (expected < 1 || file->fd < 0) {
        failDownload(file->fd < 0 && UserFile::isNoSpace(errno) ? noSpaceMessage()
                                                      : UpdateErrors::message(UpdateError::downloadFailed));
        return;
    }
    net_ = freshManager();
    QNetworkRequest req = request(url);
    req.setRawHeader("Accept-Encoding", "identity");
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = net_->get(req);
    auto failed = std::make_shared<bool>(false);
    auto full = std::make_shared<bool>(false);
    auto tooLong = std::make_shared<bool>(false);
    auto written = std::make_shared<qint64>(0);
    const QUrl feed = setup_.feedURL;
    auto allow = setup_.allowDownload;
    connect(reply, &QNetworkReply::redirected, this, [reply, feed, allow, failed](const QUrl& to) {
        if (allow(to, feed)) {
            emit reply->redirectAllowed();
        } else {
            *failed = true;
            reply->abort();
        }
    });
    // A server that announces more than the feed declares is not waited for.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, failed, tooLong, expected] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!*failed && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
            && length.isValid() && length.toLongLong() > expected) {
            *failed = true;
            *tooLong = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, file, failed, full, tooLong, written, expected, report] {
        if (*failed)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) {
            reply->readAll();  // a redirect's or an error's body is not the archive
            return;
        }
        const QByteArray chunk = reply->readAll();
        *written += chunk.size();
        const int error = *written > expected ? 0 : UserFile::writeAll(file->fd, chunk.constData(), size_t(chunk.size()));
        if (*written > expected || error) {
            *full = UserFile::isNoSpace(error);
            *tooLong = *written > expected;
            *failed = true;
            reply->abort();
            return;
        }
        report(*written);
    });
    Scheduler::current().after(setup_.downloadDeadlineMs / 1000.0, reply, [reply, failed] {
        *failed = true;
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, file, failed, full, tooLong, release, dl] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // Some file systems say they are full only at the close.
        if (file->fd >= 0 && ::close(std::exchange(file->fd, -1)) != 0 && !*failed) {
            *full = UserFile::isNoSpace(errno);
            *failed = true;
        }
        if (*full && state_.kind == State::Kind::downloading) {
            failDownload(noSpaceMessage());
            return;
        }
        if (*tooLong && state_.kind == State::Kind::downloading) {
            failDownload(UpdateError::sizeMismatch);
            return;
        }
        if (*failed || reply->error() != QNetworkReply::NoError || status != 200
            || state_.kind != State::Kind::downloading) {
            failDownload(UpdateError::downloadFailed);
            return;
        }
        verifyArchive(release, dl);
    });
}

void Updater::verifyArchive(const Release& release, const Release::Download& dl)
{
    setState(State::of(State::Kind::verifying));
    const auto work = lock_->work;
    const AppVersion current = current_;
    const Seal::Keys keys = setup_.keys;
    const QString arch = setup_.arch;
    offMain<UpdateVerify::Outcome>(
        this,
        [work, release, dl, current, keys, arch] {
            // Through the held descriptor, whatever the folders above it
            // are called now.
            return UpdateVerify::verify(work->reach(QStringLiteral("Tavrin.zip")), work->reach(QStringLiteral(".")),
                                        release, dl, current, keys, arch);
        },
        [work](Updater& self, UpdateVerify::Outcome outcome) {
            if (outcome.noSpace)
                return self.failDownload(self.noSpaceMessage());
            if (outcome.error)
                return self.failDownload(*outcome.error);
            self.staged_ = work->shown + QStringLiteral("/expanded/Tavrin.app");
            self.setState(State::of(State::Kind::readyToInstall));
        });
}

void Updater::install()
{
    if (state_.kind != State::Kind::readyToInstall || !staged_)
        return;
    const QString bundle = setup_.bundle.value_or(QCoreApplication::applicationDirPath());
    if (auto blocker = UpdateRules::installBlocker(bundle)) {
        setState(State::failed(*blocker, true));
        return;
    }
    setState(State::of(State::Kind::installing));
    const auto work = lock_->work;
    const Seal::Keys keys = setup_.keys;
    const QString arch = setup_.arch;
    const BundleSwap::ReplaceOptions swap = setup_.swap;
    const AppVersion current = current_;
    struct Replaced {
        std::optional<UpdateError> error;
        QString message;  // when the error has a message of its own
        bool manual = false;
        bool changed = false;  // another run installed a copy at least as new
    };
    offMain<Replaced>(
        this,
        [bundle, work, keys, arch, swap, current] {
            Replaced r;
            bool noSpace = false;
            // The staged copy is reached through the work directory held
            // since it was made, never by its name.
            const UniqueFd expanded =
                work ? openBeneath(work->fd.fd, "expanded", O_RDONLY | O_DIRECTORY) : UniqueFd();
            r.error = expanded.fd < 0
                ? std::optional(UpdateError::replaceFailed)
                : BundleSwap::replace(bundle, expanded.fd, "Tavrin.app", keys, arch, swap, &noSpace);
            if (work)
                BundleSwap::removeWorkFolder(*work);
            if (!r.error)
                return r;
            // Nothing is intact where no bundle stands, and a full folder
            // is no question of permissions.
            if (noSpace) {
                r.message = UpdateErrors::notEnoughSpace(QFileInfo(bundle).absolutePath());
            } else if (*r.error == UpdateError::versionMismatch && !(installedAt(bundle).key() == current)) {
                r.message = changedMeanwhile();
                r.changed = true;
            } else if (const auto inTheWay = BundleSwap::swapLockInTheWay(bundle)) {
                r.message = UpdateErrors::lockInTheWay(inTheWay->path, inTheWay->kind);
            } else if (!BundleSwap::isBundle(bundle)) {
                const BundleSwap::Recovery recovered = BundleSwap::recover(bundle);
                if (recovered.busy) {
                    r.message = anotherCopyUpdating();
                } else if (!recovered.present) {
                    r.message = missingBundle(bundle, recovered.kept);
                    r.manual = true;
                }
            }
            return r;
        },
        [bundle](Updater& self, Replaced replaced) {
            self.lock_->work.reset();
            self.lock_->held.reset();
            if (replaced.error) {
                self.staged_.reset();
                // As after a download that found it so: the next try checks
                // the feed again.
                if (replaced.changed)
                    self.setPending(std::nullopt);
                self.setState(State::failed(
                    replaced.message.isEmpty() ? UpdateErrors::message(*replaced.error) : replaced.message,
                    replaced.manual));
                return;
            }
            BundleSwap::relaunch(bundle, QCoreApplication::applicationPid());
            self.setup_.terminate();
        });
}
