// The host resolver: cache, pending set, limits, and the system lookup on
// addresses that need no name server.

#include "engine/host_resolver.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

namespace {

// A lookup the test releases by hand, counting its calls.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::atomic<int> calls{0};
    std::atomic<int> running{0};
    std::atomic<int> most{0};

    HostResolver::Lookup lookup()
    {
        return [this](const QString& address) -> std::optional<QString> {
            calls += 1;
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            {
                std::unique_lock l(m);
                cv.wait(l, [&] { return open; });
            }
            --running;
            if (address.startsWith(u"10."))
                return QString("host.example");
            return std::nullopt;
        };
    }
    void release()
    {
        std::lock_guard g(m);
        open = true;
        cv.notify_all();
    }
};

void settle(const HostResolver& r)
{
    while (r.pendingCount() > 0)
        std::this_thread::yield();
}

} // namespace

TEST(HostResolver, SchedulesOnceAndAnswersFromTheCache)
{
    Gate gate;
    HostResolver r(gate.lookup());
    EXPECT_EQ(r.name("10.0.0.1"), std::nullopt);
    EXPECT_EQ(r.name("10.0.0.1"), std::nullopt);
    EXPECT_EQ(r.name("192.0.2.1"), std::nullopt);
    EXPECT_EQ(r.pendingCount(), 2u);
    gate.release();
    settle(r);
    EXPECT_EQ(gate.calls, 2);
    EXPECT_EQ(r.name("10.0.0.1"), QString("host.example"));
    // A failed lookup is remembered and not asked again.
    EXPECT_EQ(r.name("192.0.2.1"), std::nullopt);
    EXPECT_EQ(r.pendingCount(), 0u);
    EXPECT_EQ(gate.calls, 2);

    r.enabled = false;
    EXPECT_EQ(r.name("10.0.0.2"), std::nullopt);
    EXPECT_EQ(r.pendingCount(), 0u);
    EXPECT_EQ(r.name("10.0.0.1"), QString("host.example"));
}

// A name server's answer is outside text: a direction override in it shows
// as a mark and a direction mark goes, before any view can draw it.
TEST(HostResolver, AnswersNamesMadePlain)
{
    HostResolver r([](const QString& address) -> std::optional<QString> {
        return address == u"10.0.0.1" ? QStringLiteral("\u202Elapyap.example") : QStringLiteral("a\u200Fb.example");
    });
    r.name("10.0.0.1");
    r.name("10.0.0.2");
    settle(r);
    EXPECT_EQ(r.name("10.0.0.1"), QString(QChar::ReplacementCharacter) + QStringLiteral("lapyap.example"));
    EXPECT_EQ(r.name("10.0.0.2"), QStringLiteral("ab.example"));
}

TEST(HostResolver, BoundsPendingAndConcurrentLookups)
{
    Gate gate;
    HostResolver r(gate.lookup());
    for (int i = 0; i < 300; ++i)
        r.name(QString("192.0.2.%1").arg(i));
    EXPECT_EQ(r.pendingCount(), HostResolver::maxPending);
    gate.release();
    settle(r);
    EXPECT_LE(gate.most.load(), HostResolver::maxLookups);
    EXPECT_EQ(r.cacheCount(), HostResolver::maxPending);
    // The ones turned away were not remembered; asking again schedules them.
    r.name("192.0.2.299");
    settle(r);
    EXPECT_EQ(r.cacheCount(), HostResolver::maxPending + 1);
}

TEST(HostResolver, EmptiesTheCachePastItsBound)
{
    HostResolver r([](const QString&) { return std::optional<QString>(); });
    int next = 0;
    auto fill = [&](size_t target) {
        while (r.cacheCount() < target) {
            for (int i = 0; i < 200 && r.cacheCount() + r.pendingCount() < target; ++i)
                r.name(QString::number(next++));
            settle(r);
        }
    };
    fill(5000);
    r.name(QString::number(next++));
    settle(r);
    EXPECT_EQ(r.cacheCount(), 5001u);
    r.name(QString::number(next++));
    settle(r);
    EXPECT_EQ(r.cacheCount(), 1u);
}

TEST(HostResolver, SystemLookupParsesTheAddressFamily)
{
    // Neither form of address: no query is made at all.
    EXPECT_EQ(HostResolver::lookup("*"), std::nullopt);
    EXPECT_EQ(HostResolver::lookup(QString::fromLatin1("10.0.0.1\0x", 10)), std::nullopt);
    EXPECT_EQ(HostResolver::lookup("2001:db8::zz"), std::nullopt);
    EXPECT_EQ(HostResolver::lookup("10.0.0.256"), std::nullopt);
}

TEST(HostResolver, DestroyingDoesNotWaitForLookups)
{
    auto gate = std::make_shared<Gate>();
    {
        HostResolver r([gate](const QString& a) { return gate->lookup()(a); });
        r.name("10.9.9.9");
        r.name("10.9.9.8");
    }
    gate->release();   // the lookup finishes after its resolver is gone
    while (gate->running > 0)
        std::this_thread::yield();
    SUCCEED();
}
