#include "update/update_pill.h"

#include "ui/fonts.h"
#include "ui/theme.h"
#include "update/updater.h"

#include <QPainter>

UpdatePill::UpdatePill(Updater& updater, QWidget* parent)
    : PressButton(PressStyle::surface(radius), parent), updater_(updater)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedHeight(height);
    setContentsMargins(9, 0, 9, 0);
    setLabelFont(Fonts::font(10.5, QFont::DemiBold));
    setSymbolWeight(QFont::Bold);
    setSymbolGap(5);
    setColor(Theme::cpu());
    connect(this, &QAbstractButton::clicked, this, [this] {
        updater_.setPanel(Updater::Panel{Updater::Panel::Kind::update, {}});
    });
    connect(&updater, &Updater::stateChanged, this, [this] { refreshGate_.schedule(); });
    connect(&updater, &Updater::pendingChanged, this, [this] { refreshGate_.schedule(); });
    form_ = std::nullopt;
    setVisible(false);
    refresh();
}

void UpdatePill::refresh()
{
    auto next = UpdateViewModel::pill(updater_.state(), updater_.pending());
    setToolTip(UpdateViewModel::pillToolTip());
    if (next == form_ && isVisibleTo(parentWidget()) == next.has_value())
        return;
    form_ = std::move(next);
    if (form_) {
        setSymbol(form_->symbol, 8.5);
        setText(form_->text);
        updateGeometry();
    }
    setVisible(form_.has_value());
}

void UpdatePill::paintEvent(QPaintEvent* event)
{
    PressButton::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::withAlpha(Theme::cpu(), 0.55), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}
