#include "settings/settings_view.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "platform/defaults.h"
#include "settings/general_pane.h"
#include "settings/ignored_pane.h"
#include "settings/network_pane.h"
#include "settings/pane_factory.h"
#include "settings/rules_pane.h"
#include "settings/settings_sidebar.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

struct PaneRow {
    SettingsView::Pane pane;
    const char* raw;
    const char* titleEn;
    const char* titleZh;
    const char* summaryEn;
    const char* summaryZh;
    const char* symbol;
};

constexpr PaneRow paneRows[] = {
    {SettingsView::Pane::general, "general", "General", "通用", "Notifications, tray and language",
     "通知、托盘与语言", "slider.horizontal.3"},
    {SettingsView::Pane::rules, "rules", "Alert rules", "异常规则", "What counts as an issue, and at what threshold",
     "判定异常的条件与阈值", "waveform.path.ecg"},
    {SettingsView::Pane::network, "network", "Network", "网络", "Name lookup and how traffic is measured",
     "域名解析与流量统计的口径", "globe"},
    {SettingsView::Pane::ignored, "ignored", "Muted processes", "不告警名单", "These processes never raise issues",
     "这些进程不参与异常判定", "bell.slash"},
    {SettingsView::Pane::feedback, "feedback", "Feedback", "反馈", "Diagnostics and how to reach the developer",
     "诊断信息与联系渠道", "bubble.left.and.text.bubble.right"},
    {SettingsView::Pane::about, "about", "About", "关于", "Version, data sources and Tavrin\u2019s own overhead",
     "版本、数据来源与自身开销", "info.circle"},
};

const PaneRow& rowOf(SettingsView::Pane pane)
{
    return paneRows[std::size_t(pane)];
}

void fill(QWidget* widget, const QColor& color)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

// The detail column's frame: clips the entering pane and places it at its
// current offset.
class DetailHost final : public QWidget {
public:
    explicit DetailHost(QWidget* parent) : QWidget(parent)
    {
        fill(this, Theme::bg());
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void place(QWidget* child, double offset)
    {
        if (child)
            child->setGeometry(0, int(std::lround(offset)), width(), height());
    }

    QWidget* child = nullptr;
    double offset = 0;
    // The pane that is leaving, as it last looked, fading out beneath the
    // one that enters.
    QPixmap leaving;
    double leavingOpacity = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (leaving.isNull() || leavingOpacity <= 0)
            return;
        QPainter p(this);
        p.setOpacity(leavingOpacity);
        p.drawPixmap(0, 0, leaving);
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        place(child, offset);
    }
};

class VerticalLine final : public QWidget {
public:
    explicit VerticalLine(QWidget* parent) : QWidget(parent) { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Theme::line());
    }
};

} // namespace

QString SettingsView::paneText(Pane pane)
{
    return QString::fromLatin1(rowOf(pane).raw);
}

std::optional<SettingsView::Pane> SettingsView::paneFromText(const QString& text)
{
    for (const PaneRow& row : paneRows)
        if (text == QLatin1String(row.raw))
            return row.pane;
    return std::nullopt;
}

QString SettingsView::title(Pane pane)
{
    return L10n::text(rowOf(pane).titleEn, rowOf(pane).titleZh);
}

QString SettingsView::summary(Pane pane)
{
    return L10n::text(rowOf(pane).summaryEn, rowOf(pane).summaryZh);
}

QString SettingsView::symbol(Pane pane)
{
    return QString::fromLatin1(rowOf(pane).symbol);
}

SettingsView::Pane SettingsView::initialPane(const Defaults& defaults)
{
    return paneFromText(defaults.stringValue(QStringLiteral("pane"))).value_or(Pane::rules);
}

QSize SettingsView::windowSize(const QRect& available)
{
    // A screen too short for the whole window under its title bar gets one
    // as tall as it leaves; the panes scroll.
    const int room = available.height() - titleBarAllowance;
    if (room <= 0)
        return {windowWidth, windowHeight};
    return {std::min(windowWidth, std::max(available.width(), sidebarWidth)), std::min(windowHeight, room)};
}

SettingsView::SettingsView(Monitor& monitor, std::function<QWidget*(QWidget* parent)> updateCard,
                           std::function<void()> showMain, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , updateCard_(std::move(updateCard))
    , showMain_(std::move(showMain))
    , pane_(initialPane(Defaults::standard()))
    , language_(int(monitor.prefs().language))
{
    setFixedSize(windowSize(screen() ? screen()->availableGeometry() : QRect()));
    fill(this, Theme::panel());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    build();
    // Never inside the signal that announced it: the pane that set the
    // language is still on the stack.
    connect(&monitor, &Monitor::prefsChanged, this, [this] {
        if (int(monitor_.prefs().language) != language_)
            languageGate_.schedule();
    });
}

SettingsView::~SettingsView()
{
    FrameClock::shared().unsubscribe(this);
}

void SettingsView::relanguage()
{
    if (int(monitor_.prefs().language) == language_)
        return;
    language_ = int(monitor_.prefs().language);
    build();
}

void SettingsView::build()
{
    ++builds_;
    settle();
    setWindowTitle(L10n::text("Settings", "设置"));
    // The keys that moved through the sidebar keep doing so after a rebuild.
    const bool sidebarFocused = sidebar_ && sidebar_->isAncestorOf(focusWidget());
    delete content_;
    content_ = new QWidget(this);
    auto* row = new QHBoxLayout(content_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = new SettingsSidebar(monitor_, pane_, [this](Pane p) { setPane(p); }, content_);
    row->addWidget(sidebar_);
    row->addWidget(new VerticalLine(content_));
    detailHost_ = new DetailHost(content_);
    row->addWidget(detailHost_, 1);
    detail_ = nullptr;
    layout()->addWidget(content_);
    buildDetail(false);
    if (sidebarFocused)
        sidebar_->row(pane_)->setFocus(Qt::OtherFocusReason);
}

QWidget* SettingsView::makePane(Pane pane, QWidget* parent)
{
    switch (pane) {
    case Pane::general:
        return new GeneralPane(monitor_, parent);
    case Pane::rules:
        return new RulesPane(monitor_, parent);
    case Pane::network:
        return new NetworkPane(monitor_, parent);
    case Pane::ignored:
        return new IgnoredPane(monitor_, parent);
    case Pane::feedback:
        return PaneFactory::feedback(PaneContext{monitor_, updateCard_, showMain_}, parent);
    case Pane::about:
        return PaneFactory::about(PaneContext{monitor_, updateCard_, showMain_}, parent);
    }
    return new QWidget(parent);
}

void SettingsView::setPane(Pane pane)
{
    direction_ = int(pane) < int(pane_) ? -1.0 : 1.0;
    if (pane == pane_)
        return;
    pane_ = pane;
    sidebar_->select(pane);
    buildDetail(isVisible());
}

QString SettingsView::headerTitle() const
{
    return title_ ? title_->text() : QString();
}

void SettingsView::buildDetail(bool animated)
{
    auto* host = static_cast<DetailHost*>(detailHost_);
    settle();
    if (animated && detail_)
        host->leaving = detail_->grab();
    delete detail_;
    fade_ = nullptr;
    detail_ = new QWidget(host);
    auto* column = new QVBoxLayout(detail_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(detail_);
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(26, 22, 26, 16);
    headerColumn->setSpacing(4);
    title_ = TextLabel::make(title(pane_), Fonts::font(19, QFont::DemiBold), Theme::text(), false, header);
    headerColumn->addWidget(title_);
    headerColumn->addWidget(TextLabel::make(summary(pane_), Fonts::font(12), Theme::dim(), false, header));
    column->addWidget(header);

    auto* scroll = new QScrollArea(detail_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    fill(scroll->viewport(), Theme::bg());
    auto* body = new QWidget;
    fill(body, Theme::bg());
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(26, 0, 26, 26);
    bodyColumn->setSpacing(0);
    paneWidget_ = makePane(pane_, body);
    bodyColumn->addWidget(paneWidget_);
    bodyColumn->addStretch(1);
    scroll->setWidget(body);
    column->addWidget(scroll, 1);

    host->child = detail_;
    if (!animated) {
        host->offset = 0;
        host->place(detail_, 0);
        detail_->show();
        return;
    }

    // The new pane rises from below going forward, settles from above going
    // back, and fades in; under reduce motion it only fades.
    const bool reduce = DesktopSettings::instance().reduceMotion();
    offset_.set(reduce ? 0 : 10 * direction_);
    offset_.setTarget(0, Animation::spring(Motion::standard()));
    opacity_.set(0);
    opacity_.setTarget(1, Animation::spring(Motion::standard()));
    fade_ = new QGraphicsOpacityEffect(detail_);
    fade_->setOpacity(0);
    detail_->setGraphicsEffect(fade_);
    host->offset = offset_.value();
    host->place(detail_, host->offset);
    host->leavingOpacity = 1;
    detail_->show();
    FrameClock::shared().subscribe(this, [this, host](double dt) {
        const bool still = stepAll(dt, offset_, opacity_);
        if (!still) {
            settle();
            return false;
        }
        host->offset = offset_.value();
        host->place(detail_, host->offset);
        if (fade_)
            fade_->setOpacity(std::clamp(opacity_.value(), 0.0, 1.0));
        host->leavingOpacity = 1 - std::clamp(opacity_.value(), 0.0, 1.0);
        host->update();
        return true;
    });
}

void SettingsView::settle()
{
    FrameClock::shared().unsubscribe(this);
    offset_.set(0);
    opacity_.set(1);
    if (detail_ && fade_) {
        detail_->setGraphicsEffect(nullptr); // deletes the effect
        fade_ = nullptr;
    }
    if (auto* host = static_cast<DetailHost*>(detailHost_)) {
        host->offset = 0;
        host->place(detail_, 0);
        host->leaving = QPixmap();
        host->leavingOpacity = 0;
        host->update();
    }
}

void SettingsView::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window opens with the keyboard in the sidebar, on the pane shown.
    if (!focusWidget())
        sidebar_->row(pane_)->setFocus(Qt::OtherFocusReason);
}

void SettingsView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        || event->matches(QKeySequence::Close)) {
        window()->close();
        return;
    }
    QWidget::keyPressEvent(event);
}
