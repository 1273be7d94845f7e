#include "platform/process_signals.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

#include <cmath>
#include <utility>

namespace ProcessSignals {

namespace {

int killSender(int32_t pid, int signal)
{
    return ::kill(pid_t(pid), signal) == 0 ? 0 : errno;
}

Sender& installed()
{
    static Sender sender;
    return sender;
}

} // namespace

int signalFor(Action action)
{
    switch (action) {
    case Action::pause:
        return SIGSTOP;
    case Action::resume:
        return SIGCONT;
    case Action::quit:
        return SIGTERM;
    case Action::forceQuit:
        return SIGKILL;
    }
    return SIGTERM;
}

Sender currentSender()
{
    const Sender& sender = installed();
    return sender ? sender : Sender(killSender);
}

ScopedSender::ScopedSender(Sender sender) : previous_(std::exchange(installed(), std::move(sender))) {}

ScopedSender::~ScopedSender()
{
    installed() = std::move(previous_);
}

uint32_t ownUid()
{
    return uint32_t(::geteuid());
}

bool maySignal(std::optional<uint32_t> owner, uint32_t me)
{
    return me == 0 || !owner || *owner == me;
}

std::optional<PidState> readState(int32_t pid, const std::string& root)
{
    if (pid <= 0)
        return std::nullopt;
    std::string text;
    if (!ProcFiles::read(ProcFiles::normaliseRoot(root) + "/proc/" + std::to_string(pid) + "/stat", text))
        return std::nullopt;
    const auto stat = ProcParse::pidStat(text);
    if (!stat || stat->pid != pid)
        return std::nullopt;
    return PidState{stat->startTime, stat->state};
}

bool isStopped(int32_t pid, const std::string& root)
{
    const auto state = readState(pid, root);
    return state && state->state == 'T';
}

std::vector<Target> capture(const std::vector<int32_t>& pids, const std::string& root)
{
    std::vector<Target> targets;
    targets.reserve(pids.size());
    for (int32_t pid : pids) {
        if (const auto state = readState(pid, root))
            targets.push_back({pid, state->startTime});
    }
    return targets;
}

std::vector<Target> captureSampled(const std::vector<Sampled>& processes, const std::string& root)
{
    std::optional<uint64_t> bootTime;
    std::string text;
    if (ProcFiles::read(ProcFiles::normaliseRoot(root) + "/proc/stat", text))
        bootTime = ProcParse::stat(text).bootTime;
    const long hz = ::sysconf(_SC_CLK_TCK);
    const uint64_t ticksPerSecond = hz > 0 ? uint64_t(hz) : 100;

    std::vector<Target> targets;
    targets.reserve(processes.size());
    for (const Sampled& p : processes) {
        const auto state = readState(p.pid, root);
        if (!state)
            continue;
        if (p.startUnix) {
            // Without the boot time nothing can be compared, and nothing is
            // taken on trust.
            if (!bootTime)
                continue;
            const uint64_t started = *bootTime + state->startTime / ticksPerSecond;
            if (double(started) != std::floor(*p.startUnix + 0.5))
                continue;
        }
        targets.push_back({p.pid, state->startTime});
    }
    return targets;
}

std::vector<int32_t> send(const std::vector<Target>& targets, Action action, const Options& options,
                          std::vector<int32_t>* refused)
{
    const int32_t own = options.ownPid.value_or(int32_t(::getpid()));
    const Sender sender = currentSender();
    const int signal = signalFor(action);
    std::vector<int32_t> sent;
    for (const Target& target : targets) {
        if (target.pid < 2 || target.pid == own)
            continue;
        const auto now = readState(target.pid, options.root);
        if (!now || now->startTime != target.startTime)
            continue;
        if (const int error = sender(target.pid, signal); error != 0) {
            if (error != ESRCH && refused)
                refused->push_back(target.pid);
            continue;
        }
        if (action == Action::quit && now->state == 'T')
            sender(target.pid, SIGCONT);
        sent.push_back(target.pid);
    }
    return sent;
}

} // namespace ProcessSignals
