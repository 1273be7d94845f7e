#include "engine/incident_rules.h"

#include "core/fmt.h"
#include "core/l10n.h"

#include <QSet>

#include <charconv>
#include <cmath>
#include <unordered_set>

namespace {

constexpr double GiB = 1073741824.0;
constexpr double MiB = 1048576.0;

// The whole part of v as decimal text, without converting to an integer
// type (a figure out of range must not be undefined behaviour). Adding 0.0
// turns -0 into 0.
QString whole(double v)
{
    return Fmt::fixed(std::trunc(v) + 0.0, 0);
}

const QString& wholeMachine()
{
    static const QString s = QString::fromUtf8("整机");
    return s;
}

// Memory growth as a signed figure: a process that shrank has a negative
// difference, never a wrapped-around huge one.
double signedDifference(uint64_t now, uint64_t then)
{
    return now >= then ? double(now - then) : -double(then - now);
}

} // namespace

QString IncidentRules::percentText(double cpu)
{
    return cpu < 100 ? Fmt::fixed(cpu, 1) + u'%' : Fmt::fixed(cpu, 0) + u'%';
}

std::vector<IncidentRules::Condition> IncidentRules::collect(const Snapshot& snapshot, double now,
                                                             const Preferences& prefs)
{
    using Kind = Incident::Kind;
    const Thresholds T = prefs.thresholds.usable();
    const bool zh = L10n::isChinese();
    std::vector<Condition> out;

    auto severity = [](bool critical) { return critical ? Severity::critical : Severity::warn; };

    // Whole-machine rules; muting never applies to them.
    const SystemSample& sys = snapshot.system;
    if (sys.cpu * 100 >= T.systemCPU)
        out.push_back({QStringLiteral("sys.cpu"), Kind::systemCPU, severity(sys.cpu >= 0.97), 8,
                       wholeMachine(), std::nullopt, std::nullopt, sys.cpu,
                       whole(sys.cpu * 100) + u'%'});
    if (sys.pressure >= 2) {
        const double used = double(sys.memApp) + double(sys.memWired) + double(sys.memCompressed);
        out.push_back({QStringLiteral("sys.pressure"), Kind::memoryPressure,
                       severity(sys.pressure > 3), 3, wholeMachine(), std::nullopt, std::nullopt,
                       double(sys.pressure), Fmt::bytes(used)});
    }
    // Without a known limit there is no share to judge.
    if (sys.fileMax >= 1) {
        const double r = double(sys.fileCount) / double(sys.fileMax);
        if (r >= 0.6)
            out.push_back({QStringLiteral("sys.files"), Kind::systemFiles, severity(r >= 0.85), 3,
                           wholeMachine(), std::nullopt, std::nullopt, r,
                           QString::number(sys.fileCount) + QStringLiteral(" / ")
                               + QString::number(sys.fileMax)});
    }

    const bool markPass = now - lastMark >= markSpacing;
    const double previousMark = lastMark;
    if (markPass)
        lastMark = now;

    QSet<QString> muted;
    for (const QString& name : prefs.ignored)
        muted.insert(name);

    // Thresholds and their multiples stay in floating point so that odd
    // hand-edited values cannot overflow an integer.
    const double memLimit = T.memoryGB * GiB;
    const double growthLimit = T.memoryGrowthGB * GiB;
    const double inLimit = T.downloadMB * MiB;
    const double outLimit = T.uploadMB * MiB;
    const double threadLimit = double(T.threads);
    const double fdLimit = double(T.fds);

    const QString threadsWord = zh ? QString::fromUtf8("线程") : QStringLiteral("threads");
    const QString handlesWord = zh ? QString::fromUtf8("句柄") : QStringLiteral("handles");
    const QString procsWord = zh ? QString::fromUtf8("进程") : QStringLiteral("procs");
    const QString secondsWord = zh ? QString::fromUtf8(" 秒") : QStringLiteral("s");
    const QString arrow = QString::fromUtf8(" → ");

    std::unordered_set<int32_t> seen;
    if (markPass)
        seen.reserve(marks.size() + 64);

    for (const GroupSample& g : snapshot.groups) {
        if (!muted.isEmpty() && muted.contains(g.name))
            continue;

        for (const ProcSample& p : g.members) {
            auto processCondition = [&](const char* prefix, Kind kind, bool critical, double hold,
                                        double value, QString text) {
                out.push_back({QLatin1String(prefix) + QString::number(p.pid), kind, severity(critical), hold,
                               p.name, g.key, p.pid, value, std::move(text)});
            };

            if (p.cpu >= T.processCPU)
                processCondition("processCPU.", Kind::processCPU, p.cpu >= 4 * T.processCPU, 45,
                                 p.cpu, percentText(p.cpu));
            const double mem = double(p.mem);
            if (mem >= memLimit)
                processCondition("memory.", Kind::memory, mem >= 2.5 * memLimit, 5, mem,
                                 Fmt::bytes(mem));
            if (p.netIn >= inLimit)
                processCondition("download.", Kind::download, false, 10, p.netIn,
                                 Fmt::bytes(p.netIn) + QStringLiteral("/s"));
            if (p.netOut >= outLimit)
                processCondition("upload.", Kind::upload, false, 10, p.netOut,
                                 Fmt::bytes(p.netOut) + QStringLiteral("/s"));

            // Counts of restricted processes (and of pid 0) are not ours to
            // read, so they get no count rules and no history.
            if (p.restricted || p.pid < 1)
                continue;

            const double threads = double(p.threads);
            const double fds = double(p.fds);
            if (threads >= threadLimit)
                processCondition("threads.", Kind::threads, threads >= 2.5 * threadLimit, 5, threads,
                                 QString::number(p.threads) + u' ' + threadsWord);
            if (fds >= fdLimit)
                processCondition("fds.", Kind::fds, fds >= 4 * fdLimit, 5, fds,
                                 QString::number(p.fds) + u' ' + handlesWord);

            auto it = marks.find(p.pid);
            if (it != marks.end() && !it->second.empty()) {
                const Mark& oldest = it->second.front();
                const double dMem = signedDifference(p.mem, oldest.mem);
                if (dMem >= growthLimit)
                    processCondition("memoryGrowth.", Kind::memoryGrowth, false, 0, dMem,
                                     u'+' + Fmt::bytes(dMem) + QStringLiteral(" / ")
                                         + whole(now - oldest.t) + secondsWord);
                int64_t dThreads = 0;
                if (!__builtin_sub_overflow(p.threads, oldest.threads, &dThreads) && dThreads >= 150)
                    processCondition("threadGrowth.", Kind::threadGrowth, false, 0, double(dThreads),
                                     u'+' + QString::number(dThreads) + u' ' + threadsWord + arrow
                                         + QString::number(p.threads));
                int64_t dFds = 0;
                if (!__builtin_sub_overflow(p.fds, oldest.fds, &dFds) && dFds >= 400)
                    processCondition("fdGrowth.", Kind::fdGrowth, false, 0, double(dFds),
                                     u'+' + QString::number(dFds) + u' ' + handlesWord + arrow
                                         + QString::number(p.fds));
            }

            if (markPass) {
                seen.insert(p.pid);
                std::vector<Mark>& list = it != marks.end() ? it->second : marks[p.pid];
                list.push_back({now, p.mem, p.threads, p.fds});
                if (list.size() > maxMarks)
                    list.erase(list.begin());
            }
        }

        const int64_t n = int64_t(g.members.size());
        auto counts = groupCounts.find(g.key);
        if (markPass) {
            if (counts == groupCounts.end()) {
                counts = groupCounts.insert(g.key, {});
                // A group that was not there at the last mark pass had no
                // members then, so an app that starts many processes at once
                // counts as a burst. What is already running when the
                // detector starts is its own baseline.
                if (markedGroups && !markedGroups->contains(g.key))
                    counts->push_back({previousMark, 0});
            }
            counts->push_back({now, n});
            if (counts->size() > maxMarks)
                counts->erase(counts->begin());
        }
        if (counts != groupCounts.end() && !counts->empty()) {
            const int64_t d = n - counts->front().second;
            if (n >= 40 && d >= 20)
                out.push_back({QStringLiteral("burst.") + g.key, Kind::processBurst, Severity::warn, 0,
                               g.name, g.key, std::nullopt, double(n),
                               u'+' + QString::number(d) + u' ' + procsWord + arrow
                                   + QString::number(n)});
        }
    }

    if (markPass) {
        for (auto it = marks.begin(); it != marks.end();) {
            if (seen.count(it->first))
                ++it;
            else
                it = marks.erase(it);
        }
        // Muted groups keep their counts (they just stop growing).
        QSet<QString> present;
        present.reserve(qsizetype(snapshot.groups.size()));
        for (const GroupSample& g : snapshot.groups)
            present.insert(g.key);
        for (auto it = groupCounts.begin(); it != groupCounts.end();) {
            if (present.contains(it.key()))
                ++it;
            else
                it = groupCounts.erase(it);
        }
        markedGroups = std::move(present);
    }
    return out;
}
