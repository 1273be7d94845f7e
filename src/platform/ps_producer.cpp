#include "platform/ps_producer.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
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

PsProducer::PsProducer(const std::string& root)
    : proc_(ProcFiles::normaliseRoot(root) + "/proc")
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
    for (const int32_t pid : pids_) {
        path_.clear();
        appendNumber(path_, uint64_t(pid));
        path_ += "/stat";
        if (!ProcFiles::readAt(procFd_, path_.c_str(), text_))
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
    return out_;
}
