#include "ui/segmented.h"

#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QColor mix(const QColor& from, const QColor& to, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const QColor a = from.toRgb(), b = to.toRgb();
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t), 1);
}

} // namespace

Segmented::Segmented(const QStringList& titles, Binding<int> selection, QWidget* parent)
    : SegmentStrip(PressStyle::capsule, Theme::raised(), parent), binding_(std::move(selection))
{
    const QFont font = Fonts::font(titleSize, QFont::Medium);
    for (int i = 0; i < titles.size(); ++i) {
        auto* button = new PressButton(PressStyle::surface(PressStyle::capsule), titles[i], this);
        button->setLabelFont(font);
        button->setFocusPolicy(Qt::TabFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        button->setContentsMargins(int(optionPadding), 0, int(optionPadding), 0);
        button->setFixedHeight(int(optionHeight));
        connect(button, &QAbstractButton::clicked, this, [this, i] { choose(i); });
        row()->addWidget(button, 0, Qt::AlignVCenter);
        options_.push_back(button);
        fill_.emplace_back(0);
    }
    present(binding_.value(), false);
}

PressButton* Segmented::option(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return options_[std::size_t(index)];
}

void Segmented::choose(int index)
{
    binding_.write(index);
    sync();
}

void Segmented::sync()
{
    const int selected = binding_.value();
    if (selected != selected_)
        present(selected, isVisible());
}

void Segmented::present(int selected, bool animated)
{
    selected_ = (selected >= 0 && selected < count()) ? selected : -1;
    const Animation change = animated ? Animation::timing(Motion::ease(), Motion::quick())
                                      : Animation::none();
    for (int i = 0; i < count(); ++i)
        fill_[std::size_t(i)].setTarget(i == selected_ ? 1.0 : 0.0, change);
    applyColors();
    if (!animated) {
        FrameClock::shared().unsubscribe(this);
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool still = false;
        for (AnimatedValue& f : fill_)
            still |= f.step(dt);
        applyColors();
        return still;
    });
}

void Segmented::applyColors()
{
    for (int i = 0; i < count(); ++i)
        options_[std::size_t(i)]->setColor(mix(Theme::dim(), Theme::bg(), fill_[std::size_t(i)].value()));
    update();
}

void Segmented::hideEvent(QHideEvent* event)
{
    for (AnimatedValue& f : fill_)
        f.set(f.target());
    FrameClock::shared().unsubscribe(this);
    applyColors();
    SegmentStrip::hideEvent(event);
}

void Segmented::paintBetween(QPainter& p)
{
    for (int i = 0; i < count(); ++i) {
        const double amount = std::clamp(fill_[std::size_t(i)].value(), 0.0, 1.0);
        if (amount <= 0)
            continue;
        const QRectF box(options_[std::size_t(i)]->geometry());
        QPainterPath capsule;
        capsule.addRoundedRect(box, box.height() / 2, box.height() / 2);
        p.fillPath(capsule, Theme::withAlpha(Theme::cpu(), amount));
    }
}
