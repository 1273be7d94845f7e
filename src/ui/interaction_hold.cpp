#include "ui/interaction_hold.h"

#include "platform/defaults.h"
#include "ui/hover_hold.h"
#include "ui/scheduler.h"

#include <optional>

namespace {

std::optional<bool> simulatingValue;
std::optional<double> launchValue;

} // namespace

InteractionHold::InteractionHold(const QString& name, QObject* parent)
    : QObject(parent)
{
    const Defaults& defaults = Defaults::standard();
    const QStringList names = defaults.stringValue(QStringLiteral("simulateHover"))
                                  .split(u',', Qt::SkipEmptyParts);
    if (!names.contains(name))
        return;
    set(Reason::simulated, true);

    const double until = defaults.doubleValue(QStringLiteral("simulateHoverUntil"), 0);
    if (!(until > 0))
        return;
    const double delay = std::max(0.0, until - (Scheduler::current().now() - launch()));
    Scheduler::current().after(delay, this, [this] { set(Reason::simulated, false); });
}

InteractionHold::~InteractionHold() = default;

bool InteractionHold::readSimulating(const Defaults& defaults)
{
    return defaults.contains(QStringLiteral("simulateHover"))
        || defaults.contains(QStringLiteral("simulateHoverBubble"));
}

bool InteractionHold::simulating()
{
    if (!simulatingValue)
        simulatingValue = readSimulating(Defaults::standard());
    return *simulatingValue;
}

double InteractionHold::launch()
{
    if (!launchValue)
        launchValue = Scheduler::current().now();
    return *launchValue;
}

void InteractionHold::resetProcessValues()
{
    simulatingValue.reset();
    launchValue.reset();
}

void InteractionHold::set(Reason reason, bool on)
{
    bool& held = reasons_[index(reason)];
    if (on) {
        // A simulated hover stands in for the pointer, which must not end it.
        if (reason == Reason::pointer && simulating())
            return;
        if (held)
            return;
        held = true;
        ++releaseToken_;
        writeActive(true);
        return;
    }

    if (!held)
        return;
    held = false;
    for (bool other : reasons_) {
        if (other)
            return;
    }
    const std::uint64_t token = ++releaseToken_;
    Scheduler::current().after(releaseDelay, this, [this, token] {
        if (releaseToken_ != token)
            return;
        for (bool other : reasons_) {
            if (other)
                return;
        }
        release();
    });
}

void InteractionHold::pulse(Reason reason, double seconds)
{
    set(reason, true);
    const std::uint64_t token = ++pulseTokens_[index(reason)];
    Scheduler::current().after(seconds, this, [this, reason, token] {
        if (pulseTokens_[index(reason)] == token)
            set(reason, false);
    });
}

void InteractionHold::holds(QObject* view)
{
    HoverHold::attach(view, *this);
}

void InteractionHold::release()
{
    slots_.clear();
    // Views animate these three changes together with the standard spring.
    writeActive(false);
    writeStale(false);
    writeWithheld(0);
    if (onRelease)
        onRelease();
}

void InteractionHold::setStale(const QString& slot, bool stale)
{
    std::unique_ptr<Slot>& stored = slots_[slot];
    if (!stored)
        stored = std::make_unique<Slot>();
    if (stored->stale == stale && stored->withheld == 0)
        return;
    stored->stale = stale;
    stored->withheld = 0;
    report();
}

void InteractionHold::report()
{
    bool anyStale = false;
    int total = 0;
    if (active_) {
        for (const auto& [name, slot] : slots_) {
            anyStale = anyStale || slot->stale;
            total += slot->withheld;
        }
    }
    if (anyStale == stale_ && total == withheld_)
        return;
    // Called while lists compute their rows, so the views hear of it on a
    // later turn of the event loop.
    Scheduler::current().after(0, this, [this, anyStale, total] { publish(anyStale, total); });
}

void InteractionHold::publish(bool stale, int withheld)
{
    if (!active_)
        return;
    writeStale(stale);
    writeWithheld(withheld);
}

void InteractionHold::writeActive(bool value)
{
    if (active_ == value)
        return;
    active_ = value;
    emit activeChanged(value);
}

void InteractionHold::writeStale(bool value)
{
    if (stale_ == value)
        return;
    stale_ = value;
    emit staleChanged(value);
}

void InteractionHold::writeWithheld(int value)
{
    if (withheld_ == value)
        return;
    withheld_ = value;
    emit withheldChanged(value);
}
