// tavrin-ps: one line per process, "pid time rss", with the CPU time as
// minutes:seconds.hundredths and the resident size in KiB, read from
// /proc/PID/stat. Accepts (and ignores) "-axo pid=,time=,rss=" so that it
// reads like the process-status tool it stands in for.

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <charconv>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <unistd.h>

int main()
{
    const long tck = ::sysconf(_SC_CLK_TCK);
    const long page = ::sysconf(_SC_PAGESIZE);
    const uint64_t ticksPerSecond = tck > 0 ? uint64_t(tck) : 100;
    const uint64_t pageKiB = page > 0 ? uint64_t(page) / 1024 : 4;

    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 1;
    std::string out, text, path;
    out.reserve(64 * 1024);
    while (const dirent* e = ::readdir(proc)) {
        const auto pid = ProcParse::number<int32_t>(e->d_name);
        if (!pid || *pid <= 0)
            continue;
        path.assign(e->d_name).append("/stat");
        if (!ProcFiles::readAt(::dirfd(proc), path.c_str(), text))
            continue; // ended since the listing
        const auto stat = ProcParse::pidStat(text);
        if (!stat)
            continue;
        char num[24];
        auto [end, ec] = std::to_chars(num, num + sizeof num, *pid);
        (void)ec;
        out.append(num, end);
        out += ' ';
        out += ProcParse::psTime(stat->utime + stat->stime, ticksPerSecond);
        out += ' ';
        auto [end2, ec2] = std::to_chars(num, num + sizeof num, stat->rssPages * pageKiB);
        (void)ec2;
        out.append(num, end2);
        out += '\n';
    }
    ::closedir(proc);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
