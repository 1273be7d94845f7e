#include "update/software_update_card.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "model/pref_binding.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/link_text.h"
#include "ui/press_button.h"
#include "ui/switch.h"
#include "ui/text_label.h"
#include "ui/theme.h"
#include "ui/toggle_row.h"
#include "ui/widget_opacity.h"
#include "update/update_rules.h"
#include "update/updater.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The outlined accent button of the status row; drawn faint while busy.
class ActionButton final : public PressButton {
public:
    explicit ActionButton(QWidget* parent) : PressButton(PressStyle::surface(6), parent)
    {
        setLabelFont(Fonts::font(11.5, QFont::DemiBold));
        setColor(Theme::cpu());
        setContentsMargins(11, 0, 11, 0);
        setFixedHeight(24);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        // The press feedback and the label, then the outline over them.
        PressButton::paintEvent(event);
        QPainter q(this);
        q.setRenderHint(QPainter::Antialiasing);
        q.setOpacity(isEnabled() ? 1 : 0.45);
        q.setPen(QPen(Theme::withAlpha(Theme::cpu(), 0.55), 1));
        q.setBrush(Qt::NoBrush);
        q.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
    }
    void changeEvent(QEvent* event) override
    {
        PressButton::changeEvent(event);
        if (event->type() == QEvent::EnabledChange)
            setColor(isEnabled() ? Theme::cpu() : Theme::withAlpha(Theme::cpu(), 0.45));
    }
};

QString siteHost()
{
    return Updater::site().host();
}

} // namespace

QString SoftwareUpdateCard::lastCheckText(const std::optional<QDateTime>& lastCheck)
{
    if (!lastCheck)
        return L10n::text("Not checked yet", "尚未检查");
    // A medium date and a short time, in a fixed locale per language.
    const bool zh = L10n::isChinese();
    const QLocale locale(zh ? QStringLiteral("zh_CN") : QStringLiteral("en_US"));
    const QString date = locale.toString(lastCheck->toLocalTime(),
                                         zh ? QStringLiteral("yyyy年M月d日 HH:mm")
                                            : QStringLiteral("MMM d, yyyy 'at' h:mm AP"));
    return (zh ? QStringLiteral("上次检查：") : QStringLiteral("Last checked ")) + date;
}

QString SoftwareUpdateCard::status(const Updater::State& state, const std::optional<Release>& pending,
                                   const std::optional<QString>& requiredSystem,
                                   const std::optional<QDateTime>& lastCheck)
{
    const QString v = pending ? pending->version : QString();
    switch (state.kind) {
    case Updater::State::Kind::available:
        return L10n::text("Version ", "发现新版本 ") + v + L10n::text(" is available", "");
    case Updater::State::Kind::downloading:
        return L10n::text("Downloading version ", "正在下载新版本 ") + v + QStringLiteral("\u2026");
    case Updater::State::Kind::failed:
        return state.message;
    case Updater::State::Kind::idle:
        return lastCheckText(lastCheck);
    case Updater::State::Kind::checking:
        return L10n::text("Checking for updates\u2026", "正在检查更新…");
    case Updater::State::Kind::upToDate:
        if (requiredSystem)
            return L10n::text("The new version requires Linux kernel ", "新版本需要 Linux 内核 ") + *requiredSystem
                + L10n::text(" or later", " 或更高版本，当前系统无法安装");
        return L10n::text("Tavrin is up to date", "已是最新版本") + QStringLiteral(" \u00b7 ") + lastCheckText(lastCheck);
    case Updater::State::Kind::verifying:
        return L10n::text("Verifying version ", "正在校验新版本 ") + v + QStringLiteral("\u2026");
    case Updater::State::Kind::readyToInstall:
        return L10n::text("Version ", "新版本 ") + v
            + L10n::text(" is verified. Restart to finish updating", " 已通过校验，重启后完成更新");
    case Updater::State::Kind::installing:
        return L10n::text("Installing\u2026", "正在安装…");
    }
    return {};
}

QColor SoftwareUpdateCard::statusColor(const Updater::State& state)
{
    switch (state.kind) {
    case Updater::State::Kind::available:
    case Updater::State::Kind::downloading:
    case Updater::State::Kind::verifying:
    case Updater::State::Kind::readyToInstall:
        return Theme::cpu();
    case Updater::State::Kind::failed:
        return Theme::warn();
    default:
        return Theme::dim();
    }
}

SoftwareUpdateCard::SoftwareUpdateCard(Monitor& monitor, Updater& updater, std::function<void()> showMain,
                                       QWidget* parent)
    : QWidget(parent), monitor_(monitor), updater_(updater), showMain_(std::move(showMain))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* statusRow = new QWidget(this);
    auto* line = new QHBoxLayout(statusRow);
    line->setContentsMargins(14, 14, 14, 14);
    line->setSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    version_ = TextLabel::make(QString(), Fonts::font(13, QFont::Medium), Theme::text(), false, statusRow);
    status_ = TextLabel::make(QString(), Fonts::font(11.5), Theme::dim(), true, statusRow);
    texts->addWidget(version_);
    texts->addWidget(status_);
    line->addLayout(texts, 1);
    action_ = new ActionButton(statusRow);
    connect(action_, &QAbstractButton::clicked, this, &SoftwareUpdateCard::act);
    line->addWidget(action_, 0, Qt::AlignTop);
    column->addWidget(statusRow);

    column->addWidget(new Hairline(this));
    const QString title = L10n::text("Check for updates automatically", "自动检查更新");
    if (UpdateRules::feedIsUnset(updater.feedURL())) {
        // Nothing to ask: the switch stays off and says why.
        autoCheck_ = new ToggleRow(title, UpdateRules::noSiteMessage(), Binding<bool>{}, this);
        autoCheck_->toggle()->setEnabled(false);
        WidgetOpacity::set(autoCheck_->toggle(), 0.45);
    } else {
        autoCheck_ = new ToggleRow(
            title,
            L10n::text("Requests version information from ", "每天向 ") + siteHost()
                + L10n::text(" once a day and sends no device or usage data. You decide whether to download and "
                             "install a new version.",
                             " 请求一次版本信息，不发送任何设备或使用数据。发现新版本后由你决定是否下载和安装。"),
            prefBinding<bool>(monitor, [](Preferences& p) -> bool& { return p.autoCheckUpdates; }), this);
    }
    column->addWidget(autoCheck_);

    auto* links = new QWidget(this);
    links->setFixedHeight(38);
    auto* linkRow = new QHBoxLayout(links);
    linkRow->setContentsMargins(14, 0, 14, 0);
    linkRow->setSpacing(18);
    if (updater.currentRelease()) {
        whatsNew_ = new PressButton(PressStyle::text(), L10n::text("What\u2019s new in this version", "本版本更新说明"),
                                    links);
        whatsNew_->setLabelFont(Fonts::font(11, QFont::Medium));
        whatsNew_->setColor(Theme::cpu());
        whatsNew_->setFocusPolicy(Qt::TabFocus);
        connect(whatsNew_, &QAbstractButton::clicked, this, [this] {
            if (showMain_)
                showMain_();
            if (updater_.currentRelease())
                updater_.setPanel(Updater::Panel{Updater::Panel::Kind::whatsNew, *updater_.currentRelease()});
        });
        linkRow->addWidget(whatsNew_);
    }
    linkRow->addStretch(1);
    // A build without a site of its own links to none, and a row with no
    // link at all is left out.
    const bool site = !UpdateRules::siteIsDefault();
    if (site)
        linkRow->addWidget(new LinkText(L10n::text("All release notes", "查看全部更新记录"), Updater::allReleases(),
                                        links));
    if (site || whatsNew_) {
        column->addWidget(new Hairline(this));
        column->addWidget(links);
    } else {
        delete links;
    }

    for (auto signal : {&Updater::stateChanged, &Updater::pendingChanged, &Updater::requiredSystemChanged,
                        &Updater::lastCheckChanged})
        connect(&updater, signal, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    refresh();
}

QString SoftwareUpdateCard::versionText() const
{
    return version_->text();
}

QString SoftwareUpdateCard::statusText() const
{
    return status_->text();
}

void SoftwareUpdateCard::act()
{
    if (!updater_.pending()) {
        updater_.check();
        return;
    }
    if (showMain_)
        showMain_();
    updater_.setPanel(Updater::Panel{Updater::Panel::Kind::update, {}});
}

void SoftwareUpdateCard::refresh()
{
    version_->setText(L10n::text("Current version", "当前版本") + QLatin1Char(' ')
                      + updater_.currentVersionText().value_or(L10n::text("Dev build", "开发构建")));
    status_->setText(status(updater_.state(), updater_.pending(), updater_.requiredSystem(),
                                                 updater_.lastCheck()));
    TextLabel::setColor(status_, statusColor(updater_.state()));
    const bool pending = updater_.pending().has_value();
    action_->setText(pending ? L10n::text("View update", "查看更新") : L10n::text("Check now", "检查更新"));
    action_->setEnabled(pending || !updater_.state().busy());
    action_->updateGeometry();
    autoCheck_->sync();
}
