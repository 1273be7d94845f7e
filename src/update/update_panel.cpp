#include "update/update_panel.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/emblem.h"
#include "ui/animation.h"
#include "ui/motion.h"
#include "ui/link_text.h"
#include "ui/panel_label.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/text_label.h"
#include "ui/theme.h"
#include "update/update_rules.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

using Action = UpdateViewModel::PanelAction;

// The panel's buttons: a filled accent one for the state's action, an
// outlined quiet one for "Later".
class PanelButton final : public PressButton {
public:
    PanelButton(const QString& title, bool primary, QWidget* parent)
        : PressButton(PressStyle::surface(6), title, parent), primary_(primary)
    {
        setLabelFont(Fonts::font(12, QFont::DemiBold));
        setColor(primary ? Theme::bg() : Theme::dim());
        setContentsMargins(14, 0, 14, 0);
        setFixedHeight(28);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter p(this);
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            p.setPen(primary_ ? Qt::NoPen : QPen(Theme::line(), 1));
            p.setBrush(primary_ ? Theme::cpu() : Theme::panel());
            p.drawRoundedRect(box, 5.5, 5.5);
        }
        PressButton::paintEvent(event);
    }

private:
    bool primary_;
};

// The small indeterminate spinner of the busy rows; it turns only while
// shown.
class Spinner final : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) { setFixedSize(14, 14); }

protected:
    void showEvent(QShowEvent*) override
    {
        FrameClock::shared().subscribe(this, [this](double dt) {
            angle_ = std::fmod(angle_ + dt * 360, 360);
            update();
            return true;
        });
    }
    void hideEvent(QHideEvent*) override { FrameClock::shared().unsubscribe(this); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::line(), 2));
        const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
        p.drawEllipse(ring);
        p.setPen(QPen(Theme::dim(), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, int(-angle_ * 16), 90 * 16);
    }

private:
    double angle_ = 0;
};

// The download bar: its fill glides linearly to each new fraction over
// the quick duration, and rests between readings.
class ProgressBar final : public QWidget {
public:
    explicit ProgressBar(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(3);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setFill(double fill)
    {
        if (!isVisible()) {
            fill_.set(fill);
            update();
            return;
        }
        fill_.setTarget(fill, Animation::timing(TimingCurve{0, 0, 1, 1}, Motion::quick()));
        FrameClock::shared().subscribe(this, [this](double dt) {
            const bool still = fill_.step(dt);
            update();
            return still;
        });
    }

protected:
    void hideEvent(QHideEvent*) override
    {
        fill_.set(fill_.target());
        FrameClock::shared().unsubscribe(this);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box(rect());
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::raised());
        p.drawRoundedRect(box, 1.5, 1.5);
        p.setBrush(Theme::cpu());
        const double fill = std::clamp(fill_.value(), 0.0, 1.0);
        p.drawRoundedRect(QRectF(0, 0, std::max(3.0, box.width() * fill), box.height()), 1.5, 1.5);
    }

private:
    AnimatedValue fill_{0};
};

class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Theme::line());
    }
};

QHBoxLayout* row(int spacing)
{
    auto* r = new QHBoxLayout;
    r->setContentsMargins(0, 0, 0, 0);
    r->setSpacing(spacing);
    return r;
}

// The footer for the face and the updater's fields. A build without a site
// of its own links to none, and with nothing to ask offers no retry.
UpdateViewModel::Footer footerOf(const Updater::Panel& panel, const Updater& updater)
{
    const bool site = !UpdateRules::siteIsDefault();
    if (panel.kind == Updater::Panel::Kind::whatsNew)
        return UpdateViewModel::whatsNewFooter(site ? Updater::allReleases() : QUrl());
    return UpdateViewModel::updateFooter(updater.state(), updater.requiredSystem(), site ? Updater::site() : QUrl(),
                                         !UpdateRules::feedIsUnset(updater.feedURL()));
}

} // namespace

UpdatePanel::UpdatePanel(Updater& updater, const Updater::Panel& panel, QWidget* parent)
    : QWidget(parent), updater_(updater), panel_(panel)
{
    setFixedWidth(width);
    setAttribute(Qt::WA_NoMousePropagation);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);

    auto* ret = new QShortcut(QKeySequence(Qt::Key_Return), this);
    auto* enter = new QShortcut(QKeySequence(Qt::Key_Enter), this);
    for (QShortcut* key : {ret, enter}) {
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, this, [this] {
            if (isEnabled() && footer_.primary && footer_.primary->returnKey)
                act(footer_.primary->kind);
        });
    }
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, [this] { escape(); });

    for (auto signal : {&Updater::stateChanged, &Updater::pendingChanged, &Updater::requiredSystemChanged})
        connect(&updater, signal, this, [this] { refreshGate_.schedule(); });
    rebuild();
}

QString UpdatePanel::kickerText() const
{
    return kicker_;
}

bool UpdatePanel::escape()
{
    if (!isEnabled() || !(footer_.later || footer_.hiddenClose))
        return false;
    dismiss();
    return true;
}

void UpdatePanel::dismiss()
{
    updater_.setPanel(std::nullopt);
}

void UpdatePanel::act(Action::Kind kind)
{
    switch (kind) {
    case Action::Kind::download:
        updater_.download();
        break;
    case Action::Kind::install:
        updater_.install();
        break;
    case Action::Kind::retry:
        updater_.retry();
        break;
    case Action::Kind::openSite:
        QDesktopServices::openUrl(Updater::site());
        break;
    case Action::Kind::dismiss:
        dismiss();
        break;
    }
}

void UpdatePanel::refresh()
{
    const auto footer = footerOf(panel_, updater_);
    const auto shown = UpdateViewModel::shownRelease(panel_, updater_.pending());
    if (footer == footer_ && shown == shown_)
        return;
    // Only the progress moved: the bar and the figure follow in place.
    UpdateViewModel::Footer sameShape = footer;
    sameShape.percent = footer_.percent;
    sameShape.fill = footer_.fill;
    if (sameShape == footer_ && shown == shown_ && percent_ && bar_) {
        footer_ = footer;
        percent_->setText(footer_.percent);
        static_cast<ProgressBar*>(bar_)->setFill(footer_.fill);
        return;
    }
    rebuild();
}

void UpdatePanel::rebuild()
{
    footer_ = footerOf(panel_, updater_);
    shown_ = UpdateViewModel::shownRelease(panel_, updater_.pending());
    kicker_ = UpdateViewModel::kicker(panel_, updater_.pending());
    primary_ = nullptr;
    bar_ = nullptr;
    percent_ = nullptr;
    while (QLayoutItem* item = column_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    header_ = buildHeader();
    column_->addWidget(header_);
    column_->addWidget(new Divider(this));
    if (shown_) {
        column_->addWidget(buildNotes(*shown_));
        column_->addWidget(new Divider(this));
    }
    column_->addWidget(buildFooter());
    adjustSize();
    update();
}

QWidget* UpdatePanel::buildHeader()
{
    auto* header = new QWidget(this);
    auto* stack = new QVBoxLayout(header);
    stack->setContentsMargins(24, 20, 24, 18);
    stack->setSpacing(14);

    auto* top = row(9);
    auto* icon = new QLabel(header);
    // The program's own icon, the emblem.
    icon->setPixmap(Emblem::appIcon().pixmap(22, 22));
    icon->setFixedSize(22, 22);
    top->addWidget(icon);
    top->addWidget(TextLabel::make(QStringLiteral("TAVRIN"),
                                   Fonts::font(11, QFont::Black, Fonts::Face::ui, Fonts::Width::expanded, 2.5),
                                   Theme::text(), false, header));
    top->addStretch(1);
    top->addWidget(new PanelLabel(kicker_, Theme::cpu(), header));
    stack->addLayout(top);

    if (shown_) {
        auto* release = new QVBoxLayout;
        release->setSpacing(6);
        auto* line = row(12);
        // Feed texts are plain text.
        line->addWidget(TextLabel::make(shown_->version, Fonts::mono(34, QFont::Medium), Theme::text(), false, header),
                        0, Qt::AlignBaseline);
        if (shown_->build)
            line->addWidget(TextLabel::make(QStringLiteral("(%1)").arg(*shown_->build), Fonts::mono(15), Theme::dim(),
                                            false, header),
                            0, Qt::AlignBaseline);
        line->addWidget(TextLabel::make(shown_->date, Fonts::mono(10.5), Theme::faint(), false, header), 0,
                        Qt::AlignBaseline);
        line->addStretch(1);
        release->addLayout(line);
        release->addWidget(TextLabel::make(L10n::isChinese() ? shown_->title.zh : shown_->title.en,
                                           Fonts::font(14, QFont::DemiBold), Theme::dim(), true, header));
        stack->addLayout(release);
    } else {
        auto* line = row(12);
        line->addWidget(TextLabel::make(updater_.currentVersionText().value_or(QStringLiteral("\u2014")),
                                        Fonts::mono(34, QFont::Medium), Theme::text(), false, header),
                        0, Qt::AlignBaseline);
        line->addWidget(TextLabel::make(L10n::text("Current version", "当前版本"), Fonts::font(11), Theme::faint(),
                                        false, header),
                        0, Qt::AlignBaseline);
        line->addStretch(1);
        stack->addLayout(line);
    }
    return header;
}

QWidget* UpdatePanel::buildNotes(const Release& release)
{
    auto* notes = new QWidget(this);
    auto* stack = new QVBoxLayout(notes);
    stack->setContentsMargins(24, 20, 24, 20);
    stack->setSpacing(11);
    const QStringList& lines = L10n::isChinese() ? release.notes.zh : release.notes.en;
    for (const QString& text : lines) {
        auto* line = row(11);
        auto* bullet = new QWidget(notes);
        bullet->setFixedSize(9, 2);
        bullet->setAutoFillBackground(true);
        QPalette palette = bullet->palette();
        palette.setColor(QPalette::Window, Theme::cpu());
        bullet->setPalette(palette);
        auto* bulletBox = new QVBoxLayout;
        bulletBox->setContentsMargins(0, 7, 0, 0);
        bulletBox->addWidget(bullet);
        bulletBox->addStretch(1);
        line->addLayout(bulletBox);
        line->addWidget(TextLabel::make(text, Fonts::font(12.5), Theme::withAlpha(Theme::text(), 0.88), true, notes),
                        1);
        stack->addLayout(line);
    }
    return notes;
}

QWidget* UpdatePanel::buildFooter()
{
    using B = UpdateViewModel::Footer::Block;
    auto* footer = new QWidget(this);
    auto* stack = new QVBoxLayout(footer);
    stack->setContentsMargins(24, 16, 24, 16);
    stack->setSpacing(12);

    const auto primaryButton = [&](QWidget* parent) -> QWidget* {
        if (!footer_.primary)
            return nullptr;
        auto* button = new PanelButton(footer_.primary->title, true, parent);
        const Action::Kind kind = footer_.primary->kind;
        connect(button, &QAbstractButton::clicked, this, [this, kind] { act(kind); });
        primary_ = button;
        return button;
    };

    for (B block : footer_.blocks) {
        switch (block) {
        case B::progress: {
            auto* progress = new QVBoxLayout;
            progress->setSpacing(7);
            auto* line = row(6);
            line->addWidget(TextLabel::make(L10n::text("Downloading", "正在下载"), Fonts::font(11.5), Theme::dim(),
                                            false, footer));
            line->addStretch(1);
            percent_ = TextLabel::make(footer_.percent, Fonts::mono(10.5), Theme::cpu(), false, footer);
            line->addWidget(percent_);
            progress->addLayout(line);
            auto* bar = new ProgressBar(footer);
            bar->setFill(footer_.fill);
            bar_ = bar;
            progress->addWidget(bar);
            stack->addLayout(progress);
            break;
        }
        case B::working: {
            auto* line = row(8);
            line->addWidget(new Spinner(footer));
            line->addWidget(TextLabel::make(footer_.working, Fonts::font(11.5), Theme::dim(), true, footer), 1);
            stack->addLayout(line);
            break;
        }
        case B::readyNote:
            stack->addWidget(TextLabel::make(footer_.note, Fonts::font(11.5), Theme::dim(), true, footer));
            break;
        case B::failure: {
            auto* line = row(8);
            auto* mark = new QLabel(footer);
            mark->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 10, Theme::warn(),
                                            QFont::Normal, devicePixelRatioF()));
            line->addWidget(mark, 0, Qt::AlignTop);
            // Failure messages may quote outside text: plain.
            line->addWidget(TextLabel::make(footer_.note, Fonts::font(11.5), Theme::withAlpha(Theme::text(), 0.88),
                                            true, footer),
                            1);
            stack->addLayout(line);
            break;
        }
        case B::status:
            stack->addWidget(TextLabel::make(footer_.note, Fonts::font(12.5), Theme::text(), true, footer));
            break;
        case B::buttons: {
            auto* line = row(8);
            line->addStretch(1);
            auto* later = new PanelButton(UpdateViewModel::laterTitle(), false, footer);
            connect(later, &QAbstractButton::clicked, this, &UpdatePanel::dismiss);
            line->addWidget(later);
            if (QWidget* primary = primaryButton(footer))
                line->addWidget(primary);
            stack->addLayout(line);
            break;
        }
        case B::okRow: {
            auto* line = row(10);
            if (!footer_.releases.isEmpty())
                line->addWidget(new LinkText(L10n::text("All release notes", "查看全部更新记录"), footer_.releases,
                                             footer));
            line->addStretch(1);
            if (QWidget* primary = primaryButton(footer))
                line->addWidget(primary);
            stack->addLayout(line);
            break;
        }
        case B::safety:
            stack->addWidget(TextLabel::make(UpdateViewModel::safetyNote(), Fonts::font(10.5), Theme::faint(), true,
                                             footer));
            break;
        }
    }
    return footer;
}

void UpdatePanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    QPainterPath card;
    card.addRoundedRect(box, radius, radius);
    p.fillPath(card, Theme::bg());
    if (header_) {
        p.save();
        p.setClipPath(card);
        p.fillRect(header_->geometry(), Theme::panel());
        p.restore();
    }
    p.setPen(QPen(Theme::line(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}
