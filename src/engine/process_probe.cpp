#include "engine/process_probe.h"

#include "core/outside_text.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"
#include "platform/user_names.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

QString lastComponent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace

ProcessProbe::ProcessProbe(const QString& root)
    : ProcessProbe(root, ProcFiles::normaliseRoot(root.toStdString()).empty()
                             ? DesktopEntries::loadDefault()
                             : DesktopEntries())
{
}

ProcessProbe::ProcessProbe(const QString& root, DesktopEntries apps)
    : root_(ProcFiles::normaliseRoot(root.toStdString())), apps_(std::move(apps)), ownUid_(::geteuid()),
      userLookup_(UserNames::loginName)
{
    const long tck = ::sysconf(_SC_CLK_TCK);
    if (tck > 0)
        ticksPerSecond_ = uint64_t(tck);
    if (const long page = ::sysconf(_SC_PAGESIZE); page > 0)
        pageSize_ = uint64_t(page);
    if (auto stat = ProcFiles::read(root_ + "/proc/stat"))
        bootTime_ = ProcParse::stat(*stat).bootTime;
    pids.reserve(1024);
}

ProcessProbe::~ProcessProbe()
{
    if (procFd_ >= 0)
        ::close(procFd_);
}

std::string& ProcessProbe::pidPath(int32_t pid, const char* leaf)
{
    path_.assign(root_);
    path_ += "/proc/";
    appendPid(pid, leaf);
    return path_;
}

const char* ProcessProbe::relPath(int32_t pid, const char* leaf)
{
    path_.clear();
    appendPid(pid, leaf);
    return path_.c_str();
}

void ProcessProbe::appendPid(int32_t pid, const char* leaf)
{
    char num[16];
    auto [end, ec] = std::to_chars(num, num + sizeof num, pid);
    (void)ec;
    path_.append(num, end);
    path_ += '/';
    path_ += leaf;
}

std::vector<ProcSample> ProcessProbe::sample(double dt, const NetRates& net, const RestrictedUsage& restricted)
{
    // Paths relative to an open /proc skip its lookup on every file. Opened
    // on first use, so a tree that gains its /proc later still works.
    fault_ = 0;
    // A /proc that was taken away lists nothing but is no empty machine:
    // it is let go, and looked up again.
    if (struct stat held{}; procFd_ >= 0 && ::fstat(procFd_, &held) == 0 && held.st_nlink == 0) {
        ::close(procFd_);
        procFd_ = -1;
    }
    if (procFd_ < 0)
        procFd_ = ::open((root_ + "/proc").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd_ < 0 || !ProcFiles::listPids(procFd_, pids)) {
        fault_ = errno ? errno : EIO;
        pids.clear();
        return {};
    }
    // /proc lists in pid order; other trees may not.
    std::sort(pids.begin(), pids.end());
    // The footprint is anonymous memory plus swap. While no swap is in use
    // the short statm answers it; status is far dearer for the kernel to
    // write out.
    bool swapInUse = true;
    if (ProcFiles::readAt(procFd_, "meminfo", text_)) {
        const auto total = ProcParse::kbField(text_, "SwapTotal");
        const auto free = ProcParse::kbField(text_, "SwapFree");
        swapInUse = !total || !free || *total > *free;
    }
    struct statfs fs{};
    procIsProcfs_ = ::fstatfs(procFd_, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
    std::unordered_map<int32_t, Counters> next;
    std::unordered_set<int32_t> seen;
    std::vector<ProcSample> out;
    next.reserve(pids.size());
    seen.reserve(pids.size());
    out.reserve(pids.size());
    ++round;

    for (const int32_t pid : pids) {
        int error = 0;
        // A process that ends while being read is left out altogether. Out
        // of descriptors or memory, every process would be: the reading as
        // a whole fails instead of passing for an empty machine.
        if (!ProcFiles::readRecordAt(procFd_, relPath(pid, "stat"), text_, &error)) {
            if (ProcFiles::exhausted(error)) {
                fault_ = error;
                return {};
            }
            continue;
        }
        const auto stat = ProcParse::pidStat(text_);
        if (!stat)
            continue;
        error = 0;
        ProcParse::Io io;
        bool isRestricted = true;
        if (ProcFiles::readRecordAt(procFd_, relPath(pid, "io"), text_, &error)) {
            if (auto parsed = ProcParse::io(text_)) {
                io = *parsed;
                isRestricted = false;
            }
        } else if (ProcFiles::exhausted(error)) {
            fault_ = error;
            return {};
        } else if (!ProcFiles::refused(error)) {
            // No io file: the process ended since its stat was read, or the
            // kernel keeps no per-task I/O accounting at all. Only the
            // disk figures are missing then; a process whose stat is gone
            // has ended and is left out.
            struct stat st{};
            if (::fstatat(procFd_, relPath(pid, "stat"), &st, 0) != 0)
                continue;
            isRestricted = !ProcFiles::readsInFull(st.st_uid);
        }
        // A kernel thread has no memory of its own and no descriptors.
        const bool kernelThread = (stat->flags & ProcParse::kernelThreadFlag) != 0;
        const uint64_t cpuNs = (stat->utime + stat->stime) * (1000000000ull / ticksPerSecond_);
        const uint64_t faults = stat->minFaults + stat->majFaults;

        uint64_t footprint = 0;
        if (!isRestricted && !kernelThread) {
            // Anonymous memory grows only through the process's page faults
            // and shrinks only by unmapping, which moves its resident size;
            // swapping leaves anonymous plus swapped unchanged. While stat
            // shows the same faults, resident size and CPU time, the last
            // figure stands, so an idle process costs no second file. Every
            // eighth call (staggered by pid) reads it anyway, which bounds
            // what the kernel's batched resident count can hide.
            const auto before = prev.find(pid);
            if (before != prev.end() && before->second.start == stat->startTime
                && before->second.cpuNs == cpuNs && before->second.faults == faults
                && before->second.rssPages == stat->rssPages && (round + uint64_t(pid)) % 8 != 0) {
                footprint = before->second.footprint;
            } else if (auto anon = swapInUse ? std::nullopt : anonymousBytes(pid)) {
                footprint = *anon;
            } else if (!ProcFiles::readRecordAt(procFd_, relPath(pid, "status"), text_, &error)) {
                if (ProcFiles::exhausted(error)) {
                    fault_ = error;
                    return {};
                }
                if (!ProcFiles::refused(error))
                    continue;
            } else {
                footprint = ProcParse::kbField(text_, "RssAnon").value_or(0)
                    + ProcParse::kbField(text_, "VmSwap").value_or(0);
            }
        }
        seen.insert(pid);

        // stat is readable for every process, so the incarnation is always
        // known: a reused pid gets a fresh identity and no old counters.
        auto it = identities.find(pid);
        if (it == identities.end() || it->second.startAbs != stat->startTime) {
            it = identities.insert_or_assign(pid, identify(pid, *stat)).first;
            prev.erase(pid);
            fdCache.erase(pid);
        } else if (it->second.comm != stat->comm && !kernelThread) {
            // The same process ran another program (exec keeps the pid and
            // the start time): its name, path and group follow, its
            // counters go on. Kernel workers rename themselves all the time
            // and stay kernel threads.
            it->second = identify(pid, *stat);
        }
        const Identity& id = it->second;

        ProcSample p;
        p.pid = pid;
        p.ppid = stat->ppid;
        p.name = id.name;
        p.path = id.path;
        p.groupKey = id.groupKey;
        p.groupName = id.groupName;
        p.bundlePath = id.bundlePath;
        p.startTime = id.startTime;
        p.uid = id.uid;
        p.restricted = isRestricted;
        p.state = stat->state;
        // stat is readable for every process: restricted ones count in the
        // system's thread total too, though the list shows them as unknown.
        p.threads = stat->threads;

        if (isRestricted) {
            if (auto r = restricted.find(pid); r != restricted.end()) {
                p.cpu = r->second.first;
                p.mem = r->second.second;
            }
        } else {
            const Counters now{cpuNs, io.readBytes, io.writeBytes, stat->startTime, faults, stat->rssPages,
                               footprint};
            if (auto before = prev.find(pid); before != prev.end() && dt > 0) {
                const Counters& b = before->second;
                p.cpu = now.cpuNs > b.cpuNs ? double(now.cpuNs - b.cpuNs) / (dt * 1e9) * 100 : 0;
                p.diskRead = now.diskR > b.diskR ? double(now.diskR - b.diskR) / dt : 0;
                p.diskWrite = now.diskW > b.diskW ? double(now.diskW - b.diskW) / dt : 0;
            }
            next.emplace(pid, now);
            p.mem = footprint;
            if (!kernelThread) {
                auto cached = fdCache.find(pid);
                if (round % 2 == 1 && cached != fdCache.end()) {
                    p.fds = cached->second;
                } else {
                    p.fds = fdCount(pid);
                    fdCache.insert_or_assign(pid, p.fds);
                }
            }
        }
        if (auto n = net.find(pid); n != net.end()) {
            p.netIn = n->second.first;
            p.netOut = n->second.second;
        }
        out.push_back(std::move(p));
    }
    prev = std::move(next);

    if (identities.size() > seen.size() + 256) {
        std::erase_if(identities, [&](const auto& e) { return !seen.count(e.first); });
        std::erase_if(fdCache, [&](const auto& e) { return !seen.count(e.first); });
        // Users come and go too (a service's dynamic user): names are asked
        // again from here on.
        ownerNames_.clear();
    }
    return out;
}

ProcessProbe::Identity ProcessProbe::identify(int32_t pid, const ProcParse::PidStat& stat)
{
    Identity id;
    id.startAbs = stat.startTime;
    id.comm = stat.comm;
    id.ppid = stat.ppid;
    if (bootTime_)
        id.startTime = Date::fromUnix(double(*bootTime_ + stat.startTime / ticksPerSecond_));

    const bool kernelThread = (stat.flags & ProcParse::kernelThreadFlag) != 0;
    // The real uid, which the kernel's check of a signal goes by. status is
    // readable for every process; a tree without one has the entry's owner.
    if (ProcFiles::read(pidPath(pid, "status"), text_))
        if (const auto uid = ProcParse::numberField(text_, "Uid"); uid && *uid <= UINT32_MAX)
            id.uid = uint32_t(*uid);
    if (struct stat st{}; !id.uid && ::stat(pidPath(pid, "").c_str(), &st) == 0)
        id.uid = uint32_t(st.st_uid);
    if (!kernelThread) {
        if (const auto exe = ProcFiles::exeLink(pidPath(pid, "exe")))
            id.path = QString::fromStdString(*exe);
    }

    // comm is cut at 15 bytes; argv[0] gives the whole name when comm is
    // its prefix.
    std::string comm = stat.comm;
    if (!kernelThread && comm.size() >= 15 && ProcFiles::read(pidPath(pid, "cmdline"), text_)) {
        std::string_view argv0(text_.c_str());
        if (auto slash = argv0.rfind('/'); slash != std::string_view::npos)
            argv0 = argv0.substr(slash + 1);
        if (argv0.size() > comm.size() && argv0.starts_with(comm))
            comm.assign(argv0);
    }

    if (!id.path.isEmpty())
        id.name = lastComponent(id.path);
    if (id.name.isEmpty())
        id.name = QString::fromUtf8(comm.data(), qsizetype(comm.size()));
    id.name = ProcSample::shownName(id.name, id.path, pid);

    const qsizetype app = id.path.indexOf(QLatin1String(".app/"));
    if (kernelThread) {
        id.groupKey = kernelGroupKey();
        id.groupName = QStringLiteral("kernel");
        return id;
    }
    if (app >= 0) {
        const QString bundle = id.path.left(app) + QStringLiteral(".app");
        id.groupKey = bundle;
        id.bundlePath = bundle;
        const QString last = lastComponent(bundle);
        id.groupName = ProcSample::cleanName(last.left(last.size() - 4));
    } else if (const DesktopEntries::App* entry = apps_.find(id.path)) {
        id.groupKey = entry->entryPath;
        id.bundlePath = entry->entryPath;
        id.groupName = ProcSample::cleanName(entry->name);
    } else {
        id.groupKey = QStringLiteral("exe:") + id.name;
        id.groupName = id.name;
    }
    // Another user's program is never one application with the user's own,
    // and reads as theirs wherever it is named; root's keep their names.
    if (id.uid && *id.uid != ownUid_) {
        id.groupKey = QStringLiteral("uid:%1:").arg(*id.uid) + id.groupKey;
        if (*id.uid != 0) {
            const QString& owner = ownerName(*id.uid);
            id.name = ProcSample::withOwner(id.name, owner);
            id.groupName = ProcSample::withOwner(id.groupName, owner);
        }
    }
    return id;
}

void ProcessProbe::setUserLookup(UserLookup lookup)
{
    userLookup_ = std::move(lookup);
    ownerNames_.clear();
}

const QString& ProcessProbe::ownerName(uint32_t uid)
{
    auto it = ownerNames_.find(uid);
    if (it != ownerNames_.end())
        return it->second;
    // The user database is outside text like any name.
    QString name;
    if (const auto login = userLookup_ ? userLookup_(uid) : std::nullopt)
        name = ProcSample::cleanName(QString::fromUtf8(login->data(), qsizetype(login->size())));
    if (OutsideText::blank(name))
        name = QString::number(uid);
    return ownerNames_.emplace(uid, std::move(name)).first->second;
}

std::optional<uint64_t> ProcessProbe::anonymousBytes(int32_t pid)
{
    // statm counts pages: resident = anonymous + file + shmem, shared = file
    // + shmem, so their difference is exactly RssAnon.
    if (!procIsProcfs_ || !ProcFiles::readRecordAt(procFd_, relPath(pid, "statm"), text_))
        return std::nullopt;
    auto statm = ProcParse::statm(text_);
    if (!statm || statm->second > statm->first)
        return std::nullopt;
    return (statm->first - statm->second) * pageSize_;
}

int64_t ProcessProbe::fdCount(int32_t pid)
{
    // Since Linux 6.2 the size of a process's fd directory is its number of
    // open descriptors, which spares listing it. Older kernels report 0, and
    // fixture trees are not procfs, so both count the entries instead.
    struct stat st{};
    if (procIsProcfs_ && ::fstatat(procFd_, relPath(pid, "fd"), &st, 0) == 0 && st.st_size > 0)
        return st.st_size;
    const int n = ProcFiles::countEntriesAt(procFd_, relPath(pid, "fd"));
    return n < 0 ? 0 : n;
}
