#include "platform/ps_producer.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void appendNumber(std::string& out, uint64_t n)
{
    char num[24];
    auto [end, ec] = std::to_chars(num, num + sizeof num, n);
    (void)ec;
    out.append(num, end);
}

} // namespace

PsProducer::PsProducer(const std::string& root, Scope scope)
    : scope_(scope), proc_(ProcFiles::normaliseRoot(root) + "/proc")
{
    if (const long tck = ::sysconf(_SC_CLK_TCK); tck > 0)
        ticksPerSecond_ = uint64_t(tck);
    if (const long page = ::sysconf(_SC_PAGESIZE); page >= 1024)
        pageKiB_ = uint64_t(page) / 1024;
}

PsProducer::~PsProducer()
{
    if (procFd_ >= 0)
        ::close(procFd_);
}

std::string_view PsProducer::poll()
{
    out_.clear();
    // Opened on first use, so a tree that gains its /proc later still works.
    if (procFd_ < 0)
        procFd_ = ::open(proc_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd_ < 0 || !ProcFiles::listPids(procFd_, pids_))
        return out_;
    // /proc lists in pid order; other trees may not.
    std::sort(pids_.begin(), pids_.end());
    out_.reserve(pids_.size() * 24);
    ++round_;
    for (const int32_t pid : pids_) {
        if (scope_ == Scope::unreadableOnly && !wanted(pid))
            continue;
        path_.clear();
        appendNumber(path_, uint64_t(pid));
        path_ += "/stat";
        if (!ProcFiles::readRecordAt(procFd_, path_.c_str(), text_))
            continue; // ended since the listing
        const auto stat = ProcParse::pidStat(text_);
        if (!stat)
            continue;
        appendNumber(out_, uint64_t(pid));
        out_ += ' ';
        out_ += ProcParse::psTime(stat->utime + stat->stime, ticksPerSecond_);
        out_ += ' ';
        appendNumber(out_, stat->rssPages * pageKiB_);
        out_ += '\n';
    }
    if (scope_ == Scope::unreadableOnly && known_.size() > pids_.size() + 256) {
        // Forget pids that are gone; pids_ is sorted.
        std::erase_if(known_, [this](const auto& e) {
            return !std::binary_search(pids_.begin(), pids_.end(), e.first);
        });
    }
    return out_;
}

bool PsProducer::wanted(int32_t pid)
{
    path_.clear();
    appendNumber(path_, uint64_t(pid));
    struct stat st{};
    if (::fstatat(procFd_, path_.c_str(), &st, 0) != 0)
        return false; // ended since the listing
    // The directory's owner is the process's user, or root once it turns
    // undumpable (a set-user-id program): either change calls for a check.
    auto it = known_.find(pid);
    if (it != known_.end() && it->second.uid == st.st_uid && (round_ + uint64_t(pid)) % 8 != 0)
        return !it->second.readable;
    path_ += "/io";
    // Without io accounting the file is missing rather than refused; the
    // sampler then reads the user's own processes in full all the same.
    int error = 0;
    const bool readable = ProcFiles::readRecordAt(procFd_, path_.c_str(), text_, &error)
        || (!ProcFiles::refused(error) && ProcFiles::readsInFull(st.st_uid));
    known_.insert_or_assign(pid, Known{uint32_t(st.st_uid), readable});
    return !readable;
}
