#include "settings/settings_sidebar.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr double rowHeight = 30;
constexpr double rowRadius = 6;

// One pane: its symbol in an 18 px column, the title, and on the muted row
// the count of muted names.
class SidebarRow final : public PressButton {
public:
    SidebarRow(const QString& symbol, const QString& title, QWidget* parent)
        : PressButton(PressStyle::row(rowRadius), title, parent), symbol_(symbol)
    {
        setLabelFont(Fonts::font(12.5, QFont::Medium));
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
    QSizeF labelSize() const override { return {170 - 20, rowHeight}; }

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
        const double textLeft = box.left() + 18 + 9;
        double textRight = box.right();
        if (badge_ > 0) {
            const QFont font = Fonts::mono(9.5);
            const QString text = QString::number(badge_);
            const double w = QFontMetricsF(font).horizontalAdvance(text);
            p.setFont(font);
            p.setPen(Theme::faint());
            p.drawText(QRectF(box.right() - w - 1, box.top(), w + 1, box.height()),
                       Qt::AlignRight | Qt::AlignVCenter, text);
            textRight -= w + 9;
        }
        p.setFont(labelFont());
        p.setPen(color);
        const QFontMetricsF metrics(labelFont());
        p.drawText(QRectF(textLeft, box.top(), std::max(0.0, textRight - textLeft), box.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(text(), Qt::ElideRight, std::max(0.0, textRight - textLeft)));
    }

private:
    QString symbol_;
    int badge_ = 0;
};

} // namespace

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
    footer_ = TextLabel::make(QString(), Fonts::font(10.5), Theme::faint(), true, this);
    footer_->setContentsMargins(10, 0, 10, 0);
    column->addWidget(footer_);
    column->addSpacing(16);

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
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
    const QString footer = footerText(failure, Defaults::standard().fileName());
    if (footer != footer_->text()) {
        footer_->setText(footer);
        TextLabel::setColor(footer_, failure == Defaults::Failure::none ? Theme::faint() : Theme::warn());
    }
}

QString SettingsSidebar::footerText() const
{
    return footer_->text();
}

QString SettingsSidebar::footerText(Defaults::Failure failure, const QString& file)
{
    switch (failure) {
    case Defaults::Failure::none:
        break;
    case Defaults::Failure::diskFull:
        return L10n::text("Couldn't save settings: the disk is full", "无法保存设置：磁盘已满");
    case Defaults::Failure::notWritable: {
        QString shown = file;
        const QString home = QDir::homePath();
        if (home.size() > 1 && shown.startsWith(home + u'/'))
            shown = u'~' + shown.mid(home.size());
        return L10n::text("Couldn't save settings: %1 can't be written", "无法保存设置：无法写入 %1").arg(shown);
    }
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
