#pragma once
// HostResolver: reverse-DNS names for remote addresses, answered from a cache
// at once; a new address is looked up in the background and its name is
// there on a later call. Failures are cached too, so each address is asked
// only once.

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class HostResolver {
public:
    using Lookup = std::function<std::optional<QString>(const QString& address)>;

    // `lookup` defaults to the blocking system lookup; tests pass their own.
    explicit HostResolver(Lookup lookup = {});
    ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // The cached name of `address`, or nothing; never waits on the network.
    std::optional<QString> name(const QString& address);

    // Off stops new lookups; cached names are still answered.
    std::atomic<bool> enabled{true};

    // A blocking reverse lookup; a trailing dot is dropped.
    static std::optional<QString> lookup(const QString& address);

    // For tests: addresses scheduled and not yet finished, and cache size.
    size_t pendingCount() const;
    size_t cacheCount() const;

    static constexpr size_t maxPending = 256;
    static constexpr size_t maxCache = 5000;
    static constexpr int maxLookups = 4;

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
};
