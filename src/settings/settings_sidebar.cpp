#include "settings/settings_sidebar.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "settings/reset_notice.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr double rowHeight = 30;
constexpr double rowRadius = 6;
// The symbol's column and the gap after it.
constexpr double symbolRoom = 18 + 9;
// The row's content width: the sidebar less its and the row's margins.
constexpr double rowContent = SettingsView::sidebarWidth - 20 - 20;
// The smallest size, in pixels, a title shrinks to before it is cut.
constexpr int smallestTitle = 11;

QFont countFont()
{
    return Fonts::mono(9.5);
}

QFont footerFont()
{
    return Fonts::font(10.5);
}

// The footer's lines, inside the column's and its own margins.
constexpr double footerWidth = SettingsView::sidebarWidth - 20 - 20;
constexpr QChar wordJoiner(0x2060);

// One pane: its symbol in an 18 px column, the title, and on the muted row
// the count of muted names.
class SidebarRow final : public PressButton {
public:
    SidebarRow(const QString& symbol, const QString& title, QWidget* parent)
        : PressButton(PressStyle::row(rowRadius), title, parent), symbol_(symbol)
    {
        setLabelFont(SettingsSidebar::rowFont());
        // A click puts the keyboard in the sidebar too, so the arrows go on
        // from the row chosen.
        setFocusPolicy(Qt::StrongFocus);
        setFixedHeight(int(rowHeight));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setContentsMargins(10, 0, 10, 0);
        setColor(Theme::dim());
    }

    void setBadge(int count)
    {
        if (count == badge_)
            return;
        badge_ = count;
        update();
    }

protected:
    QSizeF labelSize() const override { return {rowContent, rowHeight}; }

    // A button moves the keyboard to its neighbour on the arrows; here they
    // go to the sidebar, which moves the selection.
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)
            event->ignore();
        else
            PressButton::keyPressEvent(event);
    }

    void paintLabel(QPainter& p, const QRectF& box, const QColor& color) override
    {
        const double middle = box.center().y();
        Symbols::draw(p, QRectF(box.left() + 3, middle - 6, 12, 12), symbol_, color, QFont::Medium);
        const QString count = badge_ > 0 ? QString::number(badge_) : QString();
        const SettingsSidebar::RowText t = SettingsSidebar::rowText(
            QRectF(box.left() + symbolRoom, box.top(), std::max(0.0, box.width() - symbolRoom), box.height()),
            labelFont(), text(), count);
        if (!count.isEmpty()) {
            p.setFont(countFont());
            p.setPen(Theme::faint());
            p.drawText(t.count, Qt::AlignRight | Qt::AlignVCenter, count);
        }
        p.setFont(t.font);
        p.setPen(color);
        p.drawText(t.title, Qt::AlignLeft | Qt::AlignVCenter, t.shown);
    }

private:
    QString symbol_;
    int badge_ = 0;
};

} // namespace

QFont SettingsSidebar::rowFont()
{
    return Fonts::font(12.5, QFont::Medium);
}

QRectF SettingsSidebar::rowTextBox()
{
    return QRectF(symbolRoom, 0, rowContent - symbolRoom, rowHeight);
}

SettingsSidebar::RowText SettingsSidebar::rowText(const QRectF& box, const QFont& font, const QString& title,
                                                  const QString& count)
{
    RowText t;
    double right = box.right();
    if (!count.isEmpty()) {
        const double w = std::ceil(QFontMetricsF(countFont()).horizontalAdvance(count)) + 1;
        t.count = QRectF(box.right() - w, box.top(), w, box.height());
        right -= w + 6;
    }
    const double room = std::max(0.0, right - box.left());
    t.title = QRectF(box.left(), box.top(), room, box.height());
    t.font = font;
    // The sizes are whole pixels: one smaller at a time.
    while (QFontMetricsF(t.font).horizontalAdvance(title) > room && t.font.pixelSize() > smallestTitle)
        t.font.setPixelSize(t.font.pixelSize() - 1);
    t.shown = Fonts::elided(QFontMetricsF(t.font), title, Qt::ElideRight, room);
    return t;
}

SettingsSidebar::SettingsSidebar(Monitor& monitor, SettingsView::Pane selected,
                                 std::function<void(SettingsView::Pane)> choose, QWidget* parent)
    : QWidget(parent), monitor_(monitor), choose_(std::move(choose)), selected_(selected)
{
    setFixedWidth(SettingsView::sidebarWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 0, 10, 0);
    column->setSpacing(2);

    QLabel* mark = TextLabel::make(Fonts::wordMarkText(), Fonts::wordMark(11, 2.5), Theme::text(), false, this);
    mark->setContentsMargins(10, 0, 10, 0);
    column->addSpacing(20);
    column->addWidget(mark);
    column->addSpacing(14);

    for (SettingsView::Pane pane : SettingsView::allPanes) {
        auto* row = new SidebarRow(SettingsView::symbol(pane), SettingsView::title(pane), this);
        connect(row, &QAbstractButton::clicked, this, [this, pane] { choose_(pane); });
        column->addWidget(row);
        rows_.push_back(row);
    }
    column->addStretch(1);
    notice_ = new ResetNotice([this] { monitor_.dismissSettingsReset(); }, this);
    notice_->hide();
    incidentsNotice_ = new ResetNotice([this] { monitor_.dismissIncidentsKept(); }, this);
    incidentsNotice_->hide();
    // Apart when both show; a hidden one takes no room and no gap.
    auto* notices = new QVBoxLayout;
    notices->setSpacing(6);
    notices->addWidget(notice_);
    notices->addWidget(incidentsNotice_);
    column->addLayout(notices);
    column->addSpacing(12);
    footer_ = TextLabel::make(QString(), footerFont(), Theme::faint(), true, this);
    footer_->setContentsMargins(10, 0, 10, 0);
    column->addWidget(footer_);
    column->addSpacing(16);

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::settingsResetChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::incidentsKeptChanged, this, [this] { refreshGate_.schedule(); });
    refresh();
    select(selected);
    settle();
}

PressButton* SettingsSidebar::row(SettingsView::Pane pane) const
{
    return rows_.at(std::size_t(pane));
}

void SettingsSidebar::refresh()
{
    badge_ = int(monitor_.prefs().ignored.size());
    static_cast<SidebarRow*>(row(SettingsView::Pane::ignored))->setBadge(badge_);
    const Defaults::Failure failure = monitor_.saveFailure();
    const QString file = Defaults::standard().fileName();
    const QString whole = footerText(failure, file);
    if (whole != footerWhole_) {
        footerWhole_ = whole;
        footer_->setText(footerText(failure, file, footerWidth));
        // The whole path, when it is shown cut.
        footer_->setToolTip(QString(footer_->text()).remove(wordJoiner) == whole ? QString() : whole);
        TextLabel::setColor(footer_, failure == Defaults::Failure::none ? Theme::faint() : Theme::warn());
    }
    if (const auto& reset = monitor_.settingsReset())
        notice_->setReset(reset->file, reset->kept);
    else
        hideNotice(notice_);
    if (const QString& kept = monitor_.incidentsKept(); !kept.isEmpty())
        incidentsNotice_->setIncidentsKept(kept);
    else
        hideNotice(incidentsNotice_);
}

void SettingsSidebar::hideNotice(ResetNotice* notice)
{
    if (!notice->isVisibleTo(this))
        return;
    // The keyboard stays in the sidebar when the Dismiss button goes.
    const bool focused = notice->dismissButton()->hasFocus();
    notice->hide();
    if (focused)
        row(selected_)->setFocus(Qt::OtherFocusReason);
}

QString SettingsSidebar::footerText() const
{
    return footerWhole_;
}

ResetNotice* SettingsSidebar::resetNotice() const
{
    return notice_->isVisibleTo(this) ? notice_ : nullptr;
}

ResetNotice* SettingsSidebar::incidentsNotice() const
{
    return incidentsNotice_->isVisibleTo(this) ? incidentsNotice_ : nullptr;
}

QString SettingsSidebar::footerText(Defaults::Failure failure, const QString& file)
{
    return footerText(failure, file, -1);
}

QString SettingsSidebar::footerText(Defaults::Failure failure, const QString& file, double width)
{
    // A path is one word the line cannot break: it is cut in the middle to
    // the line's width, so the rest of the sentence wraps around it.
    const auto fit = [width](const QString& path) {
        const QString shown = ResetNotice::shortPath(path);
        if (width < 0)
            return shown;
        // Word joiners keep the line from breaking it at a "-" or a "/".
        QString joined;
        for (const QChar c : Fonts::elided(QFontMetricsF(footerFont()), shown, Qt::ElideMiddle, width)) {
            if (!joined.isEmpty() && !c.isLowSurrogate())
                joined += wordJoiner;
            joined += c;
        }
        return joined;
    };
    switch (failure) {
    case Defaults::Failure::none:
        break;
    case Defaults::Failure::diskFull:
        return L10n::text("Couldn't save settings: the disk is full", "无法保存设置：磁盘已满");
    case Defaults::Failure::notWritable:
        return L10n::text("Couldn't save settings: %1 can't be written", "无法保存设置：无法写入 %1").arg(fit(file));
    case Defaults::Failure::notKept:
        return L10n::text("Couldn't save settings: no copy of the unreadable file can be made in %1",
                          "无法保存设置：无法在 %1 中留存读不出的旧文件的副本")
            .arg(fit(QFileInfo(file).absolutePath()));
    }
    return L10n::text("Changes apply at once and save automatically", "修改立即生效并自动保存");
}

QRectF SettingsSidebar::target() const
{
    return QRectF(row(selected_)->geometry());
}

void SettingsSidebar::select(SettingsView::Pane pane)
{
    selected_ = pane;
    for (SettingsView::Pane p : SettingsView::allPanes)
        row(p)->setColor(p == pane ? Theme::text() : Theme::dim());
    if (!isVisible()) {
        settle();
        return;
    }
    // The highlight keeps its spring under reduce motion too.
    highlight_.setTarget(target(), Animation::spring(Motion::standard()));
    gliding_ = true;
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool still = highlight_.step(dt);
        update();
        if (!still)
            gliding_ = false;
        return still;
    });
}

void SettingsSidebar::keyPressEvent(QKeyEvent* event)
{
    const bool up = event->key() == Qt::Key_Up;
    if ((!up && event->key() != Qt::Key_Down)
        || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int index = int(selected_) + (up ? -1 : 1);
    if (index >= 0 && index < int(SettingsView::allPanes.size())) {
        const SettingsView::Pane pane = SettingsView::allPanes[std::size_t(index)];
        choose_(pane);
        row(pane)->setFocus(Qt::TabFocusReason);
    }
}

void SettingsSidebar::settle()
{
    gliding_ = false;
    FrameClock::shared().unsubscribe(this);
    highlight_.set(target());
    update();
}

void SettingsSidebar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!gliding_)
        highlight_.set(target());
}

void SettingsSidebar::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}

void SettingsSidebar::paintEvent(QPaintEvent*)
{
    const QRectF box = gliding_ ? highlight_.value() : target();
    if (box.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(box, rowRadius, rowRadius);
    p.fillPath(shape, Theme::raised());
}
