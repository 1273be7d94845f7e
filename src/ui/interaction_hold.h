#pragma once
// Keeps the row order of a list still while the user works with it. The hold
// answers one question, whether the user is interacting, and keeps the frozen
// order of each list that passes its rows through arrange().

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class Defaults;

namespace HoldDetail {

// Hashes through qHash where Qt has one (QString, QUuid), else std::hash.
struct Hash {
    template <class T>
    std::size_t operator()(const T& value) const
    {
        if constexpr (requires { qHash(value); })
            return static_cast<std::size_t>(qHash(value));
        else
            return std::hash<T>{}(value);
    }
};

} // namespace HoldDetail

class InteractionHold : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)
    Q_PROPERTY(bool stale READ stale NOTIFY staleChanged)
    Q_PROPERTY(int withheld READ withheld NOTIFY withheldChanged)

public:
    enum class Reason { pointer, scroll, keyboard, transition, simulated };

    // Seconds the hold stays active after its last reason ends.
    static constexpr double releaseDelay = 0.5;

    // The name only selects the simulation switches; it is not kept.
    explicit InteractionHold(const QString& name, QObject* parent = nullptr);
    ~InteractionHold() override;

    bool active() const { return active_; }
    bool stale() const { return stale_; }
    int withheld() const { return withheld_; }
    bool holdsReason(Reason reason) const { return reasons_[index(reason)]; }

    // Run after every release; the owner's to set.
    std::function<void()> onRelease;

    void set(Reason reason, bool on);
    // On now, off `seconds` later unless a newer pulse of the reason came.
    void pulse(Reason reason, double seconds);

    // Turns the pointer reason on while the pointer is over `view` and the
    // view is shown and enabled (see HoverHold). Several views, nested ones
    // included, may share one hold.
    void holds(QObject* view);

    // Returns the rows to show: while the hold is active and the slot's
    // revision is unchanged, the order frozen when the hold became active
    // (with fresh values); otherwise the live rows, whose order is recorded
    // for the next freeze. With keepMissing, rows that left the data keep
    // their place and last values; with appendNew, rows that appeared are
    // added at the end, else they are kept out and counted in withheld().
    template <class Row, class Revision, class IdOf>
    std::vector<Row> arrange(const std::vector<Row>& rows, const QString& slot,
                             const Revision& revision, bool keepMissing, bool appendNew,
                             IdOf id);

    // For a list that keeps its frozen order itself: records whether the
    // order it shows differs from the live one, and withholds nothing.
    // Forgotten on release, like every slot.
    void setStale(const QString& slot, bool stale);

    // Whether `identity` is a kept row of `slot` whose item has left the data.
    template <class Id>
    bool departed(const Id& identity, const QString& slot) const;

    // True when the defaults hold "simulateHover" or "simulateHoverBubble":
    // the pointer then never holds. Read once per process.
    static bool simulating();
    // The reference instant of "simulateHoverUntil", in scheduler seconds;
    // fixed on first use.
    static double launch();
    // Reads the switch from the given defaults without caching.
    static bool readSimulating(const Defaults& defaults);
    // Forgets both process-wide values so tests can start over.
    static void resetProcessValues();

signals:
    void activeChanged(bool active);
    void staleChanged(bool stale);
    void withheldChanged(int withheld);

private:
    struct Slot {
        virtual ~Slot() = default;
        bool stale = false;
        int withheld = 0;
    };
    template <class Id>
    struct IdSlot : Slot {
        std::vector<Id> order;
        std::unordered_set<Id, HoldDetail::Hash> departed;
    };
    template <class Row, class Id, class Revision>
    struct TypedSlot : IdSlot<Id> {
        TypedSlot(Revision r) : revision(std::move(r)) {}
        Revision revision;
        std::unordered_map<Id, Row, HoldDetail::Hash> last;
    };

    static std::size_t index(Reason reason) { return static_cast<std::size_t>(reason); }
    void release();
    void report();
    void publish(bool stale, int withheld);
    void writeActive(bool value);
    void writeStale(bool value);
    void writeWithheld(int value);

    bool active_ = false;
    bool stale_ = false;
    int withheld_ = 0;
    std::array<bool, 5> reasons_{};
    std::array<std::uint64_t, 5> pulseTokens_{};
    std::uint64_t releaseToken_ = 0;
    std::unordered_map<QString, std::unique_ptr<Slot>, HoldDetail::Hash> slots_;
};

template <class Row, class Revision, class IdOf>
std::vector<Row> InteractionHold::arrange(const std::vector<Row>& rows, const QString& slot,
                                          const Revision& revision, bool keepMissing,
                                          bool appendNew, IdOf id)
{
    using Id = std::decay_t<std::invoke_result_t<IdOf&, const Row&>>;
    using Stored = TypedSlot<Row, Id, Revision>;

    std::vector<Id> live;
    live.reserve(rows.size());
    for (const Row& row : rows)
        live.push_back(id(row));

    // A slot written by a list of other types never matches: such a call
    // records its own order afresh.
    auto found = slots_.find(slot);
    Stored* stored = found == slots_.end() ? nullptr : dynamic_cast<Stored*>(found->second.get());
    const bool frozen = active_ && stored && stored->revision == revision;

    if (!frozen) {
        auto fresh = std::make_unique<Stored>(revision);
        if (keepMissing) {
            fresh->last.reserve(rows.size());
            for (std::size_t i = 0; i < rows.size(); ++i)
                fresh->last.insert_or_assign(live[i], rows[i]);
        }
        fresh->order = std::move(live);
        slots_[slot] = std::move(fresh);
        report();
        return rows;
    }

    // Live rows by identity; the first of duplicate identities wins.
    std::unordered_map<Id, std::size_t, HoldDetail::Hash> byId;
    byId.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        byId.emplace(live[i], i);

    std::vector<Row> result;
    result.reserve(std::max(rows.size(), stored->order.size()));
    std::vector<Id> order;
    order.reserve(result.capacity());
    std::unordered_set<Id, HoldDetail::Hash> departedIds;
    auto last = std::move(stored->last);

    for (const Id& identity : stored->order) {
        if (auto it = byId.find(identity); it != byId.end()) {
            const Row& row = rows[it->second];
            byId.erase(it);
            result.push_back(row);
            order.push_back(identity);
            if (keepMissing)
                last.insert_or_assign(identity, row);
        } else if (keepMissing) {
            if (auto kept = last.find(identity); kept != last.end()) {
                result.push_back(kept->second);
                order.push_back(identity);
                departedIds.insert(identity);
            }
        }
    }

    int withheldCount = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!byId.contains(live[i]))
            continue;
        if (!appendNew) {
            ++withheldCount;
            continue;
        }
        result.push_back(rows[i]);
        order.push_back(live[i]);
        if (keepMissing)
            last.insert_or_assign(live[i], rows[i]);
    }

    stored->revision = revision;
    stored->stale = order != live;
    stored->withheld = withheldCount;
    stored->order = std::move(order);
    stored->last = std::move(last);
    stored->departed = std::move(departedIds);
    report();
    return result;
}

template <class Id>
bool InteractionHold::departed(const Id& identity, const QString& slot) const
{
    auto found = slots_.find(slot);
    if (found == slots_.end())
        return false;
    const auto* stored = dynamic_cast<const IdSlot<Id>*>(found->second.get());
    return stored && stored->departed.contains(identity);
}
