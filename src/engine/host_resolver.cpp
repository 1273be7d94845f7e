#include "engine/host_resolver.h"

#include "core/outside_text.h"

#include <algorithm>

#include <QHash>
#include <QSet>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>

#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

// Lookups run on at most four detached threads that hold only this shared
// state, so quitting never waits for a slow name server. A thread exits when
// the queue is empty, or as soon as the resolver is gone.
struct HostResolver::Shared {
    mutable std::mutex lock;                 // cache and pending
    QHash<QString, QString> cache;           // "" = looked up, no name
    QSet<QString> pending;

    std::mutex queueLock;                    // queue, workers and alive
    std::deque<QString> queue;
    int workers = 0;
    bool alive = true;

    Lookup lookup;

    void store(const QString& address, const std::optional<QString>& name)
    {
        std::lock_guard guard(lock);
        // No per-entry eviction: past the bound the whole cache starts over.
        if (static_cast<size_t>(cache.size()) > maxCache)
            cache.clear();
        // A name comes from whoever runs the zone or wrote the hosts file:
        // it is made plain once, here, so no view can show it raw.
        cache.insert(address, name ? OutsideText::plain(*name) : QString());
        pending.remove(address);
    }

    static void work(std::shared_ptr<Shared> s)
    {
        pthread_setname_np(pthread_self(), "tavrin.resolver");
        for (;;) {
            QString address;
            {
                std::lock_guard guard(s->queueLock);
                if (s->queue.empty() || !s->alive) {
                    s->workers -= 1;
                    return;
                }
                address = std::move(s->queue.front());
                s->queue.pop_front();
            }
            s->store(address, s->lookup(address));
        }
    }
};

HostResolver::HostResolver(Lookup lookup)
    : shared(std::make_shared<Shared>())
{
    shared->lookup = lookup ? std::move(lookup) : Lookup(&HostResolver::lookup);
}

HostResolver::~HostResolver()
{
    std::lock_guard guard(shared->queueLock);
    shared->alive = false;
    shared->queue.clear();
}

std::optional<QString> HostResolver::name(const QString& address)
{
    {
        std::lock_guard guard(shared->lock);
        if (auto it = shared->cache.constFind(address); it != shared->cache.constEnd()) {
            if (it->isEmpty())
                return std::nullopt;
            return *it;
        }
        if (!enabled.load(std::memory_order_relaxed) || static_cast<size_t>(shared->pending.size()) >= maxPending)
            return std::nullopt;
        if (shared->pending.contains(address))
            return std::nullopt;
        shared->pending.insert(address);
    }

    bool spawn = false;
    {
        std::lock_guard guard(shared->queueLock);
        shared->queue.push_back(address);
        if (shared->workers < maxLookups) {
            shared->workers += 1;
            spawn = true;
        }
    }
    if (spawn) {
        try {
            std::thread(&Shared::work, shared).detach();
        } catch (const std::system_error&) {
            // No thread to be had: forget the request, so that a later call
            // asks again instead of the address staying pending for good.
            {
                std::lock_guard guard(shared->queueLock);
                shared->workers -= 1;
                auto& q = shared->queue;
                if (auto it = std::find(q.begin(), q.end(), address); it != q.end())
                    q.erase(it);
            }
            std::lock_guard guard(shared->lock);
            shared->pending.remove(address);
        }
    }
    return std::nullopt;
}

size_t HostResolver::pendingCount() const
{
    std::lock_guard guard(shared->lock);
    return static_cast<size_t>(shared->pending.size());
}

size_t HostResolver::cacheCount() const
{
    std::lock_guard guard(shared->lock);
    return static_cast<size_t>(shared->cache.size());
}

std::optional<QString> HostResolver::lookup(const QString& address)
{
    const QByteArray text = address.toLatin1();
    if (text.contains('\0'))
        return std::nullopt;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.contains(u':')) {
        auto* sa = reinterpret_cast<sockaddr_in6*>(&storage);
        sa->sin6_family = AF_INET6;
        if (inet_pton(AF_INET6, text.constData(), &sa->sin6_addr) != 1)
            return std::nullopt;
        length = sizeof(sockaddr_in6);
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&storage);
        sa->sin_family = AF_INET;
        if (inet_pton(AF_INET, text.constData(), &sa->sin_addr) != 1)
            return std::nullopt;
        length = sizeof(sockaddr_in);
    }
    char host[1025] = {};
    if (getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    QString name = QString::fromUtf8(host);
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}
