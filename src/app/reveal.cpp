#include "app/reveal.h"

#include "model/monitor.h"
#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/widget_opacity.h"

#include <QGraphicsEffect>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cmath>

// Draws the content at an opacity and a downward offset. The content is
// rendered once into a pixmap and that is faded, so overlapping children do
// not show through one another.
class RevealEffect final : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;

    void set(double opacity, double offset)
    {
        if (opacity == opacity_ && offset == offset_)
            return;
        const bool moved = offset != offset_;
        opacity_ = opacity;
        offset_ = offset;
        if (moved)
            updateBoundingRect();
        update();
    }

    QRectF boundingRectFor(const QRectF& rect) const override
    {
        return rect.adjusted(0, std::min(0.0, offset_), 0, std::max(0.0, offset_));
    }

protected:
    void draw(QPainter* painter) override
    {
        if (opacity_ <= 0)
            return;
        if (opacity_ >= 1 && offset_ == 0) {
            drawSource(painter);
            return;
        }
        QPoint at;
        const QPixmap pixmap = sourcePixmap(Qt::DeviceCoordinates, &at, QGraphicsEffect::NoPad);
        if (pixmap.isNull())
            return;
        painter->save();
        painter->setWorldTransform(QTransform());
        painter->setOpacity(std::min(opacity_, 1.0));
        // Whole pixels keep the text crisp while it rises.
        painter->drawPixmap(QPointF(at) + QPointF(0, std::round(offset_)), pixmap);
        painter->restore();
    }

private:
    double opacity_ = 1;
    double offset_ = 0;
};

namespace {

bool reduceMotion()
{
    return DesktopSettings::instance().reduceMotion();
}

} // namespace

double Reveal::delay(int order)
{
    return std::max(0, order) * 0.1 + 0.08;
}

bool Reveal::shouldShow(const Monitor& monitor)
{
    return monitor.ready() && !monitor.welcome();
}

Reveal* Reveal::attach(QWidget* content, int order, bool shown)
{
    return new Reveal(content, order, shown);
}

Reveal::Reveal(QWidget* content, int order, bool shown)
    : QObject(content)
    , content_(content)
    , order_(std::max(0, order))
    , shown_(shown)
    , opacity_(shown ? 1.0 : 0.0)
    , offset_(shown ? 0.0 : hiddenOffset(reduceMotion()))
{
    sync();
}

void Reveal::follow(Monitor& monitor)
{
    auto update = [this, &monitor] { setShown(shouldShow(monitor)); };
    connect(&monitor, &Monitor::readyChanged, this, update);
    connect(&monitor, &Monitor::welcomeChanged, this, update);
    setShownNow(shouldShow(monitor));
}

void Reveal::setShown(bool shown)
{
    if (shown == shown_)
        return;
    if (!content_ || !content_->isVisible()) {
        setShownNow(shown);
        return;
    }
    shown_ = shown;
    const std::uint64_t issued = token_.issue();
    if (!shown) {
        // Hiding never waits.
        waiting_ = false;
        begin();
        return;
    }
    waiting_ = true;
    sync();
    Scheduler::current().after(delay(order_), this, [this, issued] {
        if (!token_.isLatest(issued))
            return;
        waiting_ = false;
        begin();
    });
}

void Reveal::setShownNow(bool shown)
{
    token_.issue();
    waiting_ = false;
    shown_ = shown;
    opacity_.setTarget(shown ? 1.0 : 0.0, Animation::none());
    offset_.setTarget(shown ? 0.0 : hiddenOffset(reduceMotion()), Animation::none());
    settle();
}

void Reveal::begin()
{
    const Animation spring = Animation::spring(Motion::emphasized());
    opacity_.setTarget(shown_ ? 1.0 : 0.0, spring);
    // Read each time the content goes down: with reduce motion it only fades.
    const bool reduced = reduceMotion();
    offset_.setTarget(shown_ ? 0.0 : hiddenOffset(reduced), spring.unless(reduced));
    animate();
}

void Reveal::animate()
{
    if (!moving() || !content_ || !content_->isVisible()) {
        settle();
        return;
    }
    sync();
    FrameClock::shared().subscribe(this, [this](double dt) {
        if (!stepAll(dt, opacity_, offset_) || !content_ || !content_->isVisible()) {
            settle();
            return false;
        }
        sync();
        return true;
    });
}

void Reveal::settle()
{
    opacity_.set(opacity_.target());
    offset_.set(offset_.target());
    FrameClock::shared().unsubscribe(this);
    sync();
}

void Reveal::sync()
{
    if (!content_)
        return;
    // Transparent content takes no clicks, as if it were not there.
    content_->setAttribute(Qt::WA_TransparentForMouseEvents, !shown_);

    const bool plain = shown_ && !waiting_ && !moving() && opacity_.value() >= 1 &&
                       offset_.value() == 0;
    if (plain) {
        if (effect_) {
            content_->setGraphicsEffect(nullptr); // deletes it
            WidgetOpacity::effectChanged(content_);
        }
        return;
    }
    if (!effect_) {
        auto* effect = new RevealEffect(content_);
        content_->setGraphicsEffect(effect);
        effect_ = effect;
        WidgetOpacity::effectChanged(content_);
    }
    static_cast<RevealEffect*>(effect_.data())->set(opacity_.value(), offset_.value());
}
