#include "settings/diagnostics.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "model/monitor.h"
#include "core/build_info.h"
#include "ui/clipboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>

#include <sys/utsname.h>

#include <algorithm>
#include <cmath>

namespace {

const QString dot = QStringLiteral(" · ");

QString flag(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString whole(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    return QString::number(static_cast<long long>(std::trunc(value)));
}

QString kernelRelease()
{
    utsname name{};
    if (uname(&name) != 0)
        return QStringLiteral("?");
    return QString::fromLocal8Bit(name.release);
}

QString readOsRelease()
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return QString::fromUtf8(file.read(64 * 1024));
    }
    return {};
}

} // namespace

namespace Diagnostics {

QString duration(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    if (seconds >= 3600)
        return QString::asprintf("%.1fh", seconds / 3600);
    return whole(seconds / 60) + QLatin1Char('m');
}

QString installClass(const QString& programDir, const QString& home)
{
    const QString path = QDir::cleanPath(programDir) + QLatin1Char('/');
    if (!home.isEmpty() && path.startsWith(QDir::cleanPath(home) + QStringLiteral("/Applications/")))
        return QStringLiteral("~/Applications");
    if (path.startsWith(QStringLiteral("/opt/")))
        return QStringLiteral("/opt");
    if (path.startsWith(QStringLiteral("/usr/")))
        return QStringLiteral("/usr");
    if (path.endsWith(QStringLiteral("/build/bin/")) || path.contains(QStringLiteral("/build/bin/")))
        return QStringLiteral("build");
    return QStringLiteral("other");
}

QString distribution(const QString& osRelease)
{
    QMap<QString, QString> values;
    for (const QString& raw : osRelease.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || eq <= 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
            && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        values.insert(line.left(eq), value.simplified());
    }
    if (!values.value(QStringLiteral("PRETTY_NAME")).isEmpty())
        return values.value(QStringLiteral("PRETTY_NAME"));
    const QString name = values.value(QStringLiteral("NAME"));
    const QString version = values.value(QStringLiteral("VERSION_ID"));
    if (!name.isEmpty())
        return version.isEmpty() ? name : name + QLatin1Char(' ') + version;
    return QStringLiteral("Linux");
}

QString shortest(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

QString stateLine(const QString& state)
{
    return state.left(60);
}

QStringList lines(const Facts& f)
{
    const Snapshot& snap = f.snapshot;
    const SystemSample& sys = snap.system;
    QStringList out;

    out << QStringLiteral("Tavrin ") + f.versionText + QStringLiteral(" · commit ")
            + f.commit.value_or(QStringLiteral("?")) + QStringLiteral(" · install ") + f.location;

    const auto cores = static_cast<long long>(f.host.coreKinds.size());
    long long efficiency = 0;
    for (CoreKind kind : f.host.coreKinds)
        efficiency += kind == CoreKind::efficiency ? 1 : 0;
    out << QStringLiteral("Linux ") + f.kernel + dot + f.distribution + dot + f.host.chip + dot
            + QString::number(cores) + QStringLiteral(" cores (") + QString::number(cores - efficiency)
            + QStringLiteral("P+") + QString::number(efficiency) + QStringLiteral("E) · ")
            + whole(static_cast<double>(sys.memTotal) / 1073741824.0) + QStringLiteral(" GB");

    out << QStringLiteral("language ") + (f.chinese ? QStringLiteral("zh") : QStringLiteral("en"))
            + QStringLiteral(" (") + Preferences::languageText(f.language)
            + QStringLiteral(") · app uptime ") + duration(f.now - f.launched)
            + QStringLiteral(" · system uptime ") + duration(f.now - f.host.bootTime);

    const QString selfCPU = snap.selfCPU < 100 ? QString::asprintf("%.1f%%", snap.selfCPU)
                                               : QString::asprintf("%.0f%%", snap.selfCPU);
    out << QStringLiteral("self: cpu ") + selfCPU + QStringLiteral(" · mem ")
            + Fmt::bytes(static_cast<double>(snap.selfMem)) + QStringLiteral(" · view ") + f.mode
            + (f.frozen ? QStringLiteral(" · frozen") : QString());

    long long processes = 0, restricted = 0;
    for (const GroupSample& group : snap.groups) {
        processes += static_cast<long long>(group.members.size());
        for (const ProcSample& member : group.members)
            restricted += member.restricted ? 1 : 0;
    }
    out << QStringLiteral("sampling: last sample ") + QString::asprintf("%.1f", f.now - f.sampleDate)
            + QStringLiteral("s ago · ") + QString::number(processes) + QStringLiteral(" processes (")
            + QString::number(restricted) + QStringLiteral(" restricted) · ")
            + QString::number(snap.groups.size()) + QStringLiteral(" groups · history ")
            + QString::number(f.historyCount);

    out << QStringLiteral("system: cpu ") + whole(sys.cpu * 100) + QStringLiteral("% · gpu ")
            + whole(sys.gpu * 100) + QStringLiteral("% · mem ")
            + Fmt::bytes(static_cast<double>(sys.memApp + sys.memWired + sys.memCompressed))
            + QStringLiteral(" · pressure ") + QString::number(sys.pressure) + QStringLiteral(" · swap ")
            + Fmt::bytes(static_cast<double>(sys.swapUsed)) + QStringLiteral(" · files ")
            + QString::number(sys.fileCount) + QLatin1Char('/') + QString::number(sys.fileMax)
            + QStringLiteral(" · threads ") + QString::number(sys.threadCount);

    long long remote = 0, named = 0;
    for (const Connection& connection : snap.connections) {
        if (connection.scope == Connection::Scope::loopback)
            continue;
        ++remote;
        named += connection.host ? 1 : 0;
    }
    const auto loopback = static_cast<long long>(snap.connections.size()) - remote;
    out << QStringLiteral("network: ") + QString::number(remote) + QStringLiteral(" remote connections (")
            + QString::number(named) + QStringLiteral(" named) · ") + QString::number(loopback)
            + QStringLiteral(" loopback · ") + QString::number(snap.listeners.size())
            + QStringLiteral(" listeners · net serial ") + QString::number(snap.netSerial)
            + QStringLiteral(" · domains logged ") + QString::number(f.domainCount);

    long long open = 0;
    QMap<QString, int> kinds;
    for (const Incident& incident : f.incidents) {
        open += incident.isOpen() ? 1 : 0;
        ++kinds[Incident::kindText(incident.kind)];
    }
    QString line8 = QStringLiteral("incidents: ") + QString::number(open) + QStringLiteral(" open · ")
        + QString::number(f.incidents.size()) + QStringLiteral(" total");
    if (!kinds.isEmpty()) {
        QStringList items;
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
            items << it.key() + QChar(0x00D7) + QString::number(it.value());
        // Ordered by the item's whole text, so "memoryGrowth×1" comes before
        // "memory×2" (the sign sorts after every letter).
        std::sort(items.begin(), items.end());
        line8 += dot + items.join(QLatin1Char(' '));
    }
    out << line8;

    const Preferences& p = f.prefs;
    out << QStringLiteral("settings: notify ") + flag(p.notify) + QStringLiteral(" · resolve hosts ")
            + flag(p.resolveHosts) + QStringLiteral(" · auto update ")
            + (f.update.checks ? flag(p.autoCheckUpdates) : QStringLiteral("off (no update site)"))
            + QStringLiteral(" · tray tooltip % ") + flag(p.menuBarPercent) + QStringLiteral(" · muted ")
            + QString::number(p.ignored.size());

    const Thresholds& t = p.thresholds;
    const Thresholds& d = f.defaults;
    auto mark = [](bool changed) { return changed ? QStringLiteral("*") : QString(); };
    out << QStringLiteral("thresholds (* = changed): sysCPU ") + whole(t.systemCPU) + mark(t.systemCPU != d.systemCPU)
            + QStringLiteral(" · procCPU ") + whole(t.processCPU) + mark(t.processCPU != d.processCPU)
            + QStringLiteral(" · memGB ") + shortest(t.memoryGB) + mark(t.memoryGB != d.memoryGB)
            + QStringLiteral(" · growthGB ") + shortest(t.memoryGrowthGB)
            + mark(t.memoryGrowthGB != d.memoryGrowthGB) + QStringLiteral(" · threads ")
            + QString::number(t.threads) + mark(t.threads != d.threads) + QStringLiteral(" · fds ")
            + QString::number(t.fds) + mark(t.fds != d.fds) + QStringLiteral(" · downMB ")
            + shortest(t.downloadMB) + mark(t.downloadMB != d.downloadMB) + QStringLiteral(" · upMB ")
            + shortest(t.uploadMB) + mark(t.uploadMB != d.uploadMB);

    out << QStringLiteral("update: ") + stateLine(f.update.state)
            + (f.update.lastCheck ? QStringLiteral(" · last check ") + duration(f.now - *f.update.lastCheck)
                       + QStringLiteral(" ago")
                                  : QStringLiteral(" · never checked"));
    return out;
}

QString report(const Facts& facts)
{
    return lines(facts).join(QLatin1Char('\n'));
}

Facts gather(const Monitor& monitor, const UpdateStatus& update)
{
    Facts f;
    f.versionText = BuildInfo::versionText();
    f.commit = BuildInfo::sourceCommit();
    f.location = installClass(QCoreApplication::applicationDirPath(), QDir::homePath());
    f.kernel = kernelRelease();
    f.distribution = distribution(readOsRelease());
    f.host = monitor.host();
    f.chinese = L10n::isChinese();
    f.language = monitor.prefs().language;
    f.now = Date::now();
    f.launched = monitor.launched();
    f.mode = Monitor::modeText(monitor.mode());
    f.frozen = monitor.frozen();
    f.sampleDate = monitor.sampleDate();
    f.historyCount = monitor.history().size();
    f.snapshot = monitor.snapshot();
    f.domainCount = static_cast<std::size_t>(monitor.domains().records.size());
    f.incidents = monitor.incidents();
    f.prefs = monitor.prefs();
    f.defaults = Thresholds();
    f.update = update;
    return f;
}

QString report(const Monitor& monitor, const UpdateStatus& update)
{
    return report(gather(monitor, update));
}

QString fenced(const QString& report)
{
    return QStringLiteral("```\n") + report + QStringLiteral("\n```");
}

void copy(const Monitor& monitor, const UpdateStatus& update)
{
    copyPlain(fenced(report(monitor, update)));
}

void copy(const Monitor& monitor)
{
    copy(monitor, currentUpdate());
}

namespace {

std::function<UpdateStatus()>& updateSource()
{
    static std::function<UpdateStatus()> source;
    return source;
}

} // namespace

void setUpdateSource(std::function<UpdateStatus()> source)
{
    updateSource() = std::move(source);
    emit updateNotifier().changed();
}

UpdateNotifier& updateNotifier()
{
    static UpdateNotifier notifier;
    return notifier;
}

UpdateStatus currentUpdate()
{
    if (updateSource())
        return updateSource()();
    UpdateStatus never;
    never.checks = BuildInfo::checksForUpdates();
    return never;
}

} // namespace Diagnostics
