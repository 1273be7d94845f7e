#include "ui/row_feedback.h"

#include "ui/frame_clock.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

RowFeedback* RowFeedback::apply(QWidget* row, double radius, std::function<void()> action)
{
    if (!row)
        return nullptr;
    return new RowFeedback(row, radius, std::move(action)); // owned by the row
}

RowFeedback::RowFeedback(QWidget* row, double radius, std::function<void()> action)
    : QWidget(row)
    , row_(row)
    , radius_(radius)
    , action_(std::move(action))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(row->rect());
    raise();
    row->installEventFilter(this);
}

double RowFeedback::washOpacity(double hover, double press)
{
    const double h = 0.035 * hover;
    return std::clamp(h + (0.07 - h) * press, 0.0, 1.0);
}

bool RowFeedback::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != row_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Enter:
        setHovering(true);
        break;
    case QEvent::Leave:
        setHovering(false);
        break;
    case QEvent::Hide:
        // Nothing stays lit on a row hidden under the pointer.
        hovering_ = false;
        pressed_ = false;
        hover_.set(0);
        press_.set(0);
        settle();
        break;
    case QEvent::Resize:
        setGeometry(row_->rect());
        break;
    case QEvent::ChildAdded:
        // Content added later must stay under the wash.
        raise();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (action_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            setPressed(true);
            return true; // so the release comes back to this row
        }
        break;
    case QEvent::MouseButtonRelease:
        if (pressed_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            setPressed(false);
            const bool inside =
                row_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (inside && action_) {
                // A copy: the action may close what shows the row, and must
                // be the last thing done here.
                auto action = action_;
                action();
            }
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void RowFeedback::setHovering(bool hovering)
{
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    hover_.setTarget(hovering ? 1 : 0, Animation::timing(Motion::ease(), Motion::quick()));
    animate();
}

void RowFeedback::setPressed(bool pressed)
{
    if (pressed == pressed_)
        return;
    pressed_ = pressed;
    press_.setTarget(pressed ? 1 : 0, Animation::timing(Motion::ease(), Motion::quick() * 0.6));
    animate();
}

void RowFeedback::animate()
{
    if (!animating()) {
        update();
        return;
    }
    if (!row_->isVisible()) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = stepAll(dt, hover_, press_);
        update();
        return moving;
    });
}

void RowFeedback::settle()
{
    hover_.set(hover_.target());
    press_.set(press_.target());
    FrameClock::shared().unsubscribe(this);
    update();
}

void RowFeedback::paintEvent(QPaintEvent*)
{
    const double wash = currentWash();
    if (wash <= 0)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor white(Qt::white);
    white.setAlphaF(float(wash));
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

void linkCursor(QWidget* view)
{
    if (view)
        view->setCursor(Qt::PointingHandCursor);
}
