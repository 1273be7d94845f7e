#pragma once
// Signals to processes by name. Pids are captured with their start time when
// targets are chosen and checked again just before each signal, so a pid the
// kernel has given to another process by then is left alone. Qt-free.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ProcessSignals {

enum class Action { pause, resume, quit, forceQuit };

// The user this process signals as (its effective uid).
uint32_t ownUid();

// Whether a process of user `owner` is one the user `me` may signal: the
// same user's, or any when `me` is root. A process whose owner is not known
// is left to the kernel's own check when the signal goes.
bool maySignal(std::optional<uint32_t> owner, uint32_t me = ownUid());

// SIGSTOP, SIGCONT, SIGTERM, SIGKILL: the named constants, never numbers,
// which differ between systems.
int signalFor(Action action);

// Delivers one signal; kill() unless replaced. Returns 0 when the signal
// went, else why not (errno's value, or any other non-zero).
using Sender = std::function<int(int32_t pid, int signal)>;

// The sender every send() uses; tests swap it for a recorder.
Sender currentSender();

class ScopedSender {
public:
    explicit ScopedSender(Sender sender);
    ~ScopedSender();
    ScopedSender(const ScopedSender&) = delete;
    ScopedSender& operator=(const ScopedSender&) = delete;

private:
    Sender previous_;
};

// One process as it was when chosen.
struct Target {
    int32_t pid = 0;
    uint64_t startTime = 0; // clock ticks after boot, from /proc/PID/stat
    bool operator==(const Target&) const = default;
};

struct PidState {
    uint64_t startTime = 0;
    char state = '?';
};

// Start time and state from ROOT/proc/PID/stat; nothing when unreadable.
std::optional<PidState> readState(int32_t pid, const std::string& root = "/");

// Whether the kernel reports the pid as stopped by a signal (state T).
bool isStopped(int32_t pid, const std::string& root = "/");

// Pids whose stat cannot be read are left out; order is kept.
std::vector<Target> capture(const std::vector<int32_t>& pids, const std::string& root = "/");

// A process as a sample recorded it: its pid and the Unix time it started,
// in the whole seconds a sample holds (boot time plus its start ticks).
struct Sampled {
    int32_t pid = 0;
    std::optional<double> startUnix; // absent where the sample had none
};

// Targets for processes as sampled: a pid whose process now started in
// another second than the sample says (the pid was reused since) is left
// out, as is one whose stat cannot be read. A sample without a start time
// is taken as the pid is now. Order is kept.
std::vector<Target> captureSampled(const std::vector<Sampled>& processes, const std::string& root = "/");

struct Options {
    std::string root = "/";
    // Our own pid, never signalled; getpid() when absent.
    std::optional<int32_t> ownPid;
};

// Sends the action's signal to each target in order, skipping pids below 2,
// our own pid and any pid whose start time is now different or unreadable.
// A stopped process cannot act on SIGTERM, so a quit also resumes it.
// Returns the pids whose signal the system accepted; `refused`, when given,
// receives those whose signal it refused (a process that ended meanwhile
// is neither).
std::vector<int32_t> send(const std::vector<Target>& targets, Action action, const Options& options = {},
                          std::vector<int32_t>* refused = nullptr);

} // namespace ProcessSignals
