#include "update/update_view_model.h"

#include "core/l10n.h"
#include "ui/theme.h"


#include <algorithm>
#include <cmath>

namespace UpdateViewModel {

using Kind = Updater::State::Kind;

std::optional<PillForm> pill(const Updater::State& state, const std::optional<Release>& pending)
{
    if (!pending)
        return std::nullopt;
    if (state.kind == Kind::readyToInstall)
        return PillForm{QStringLiteral("arrow.clockwise"), L10n::text("Restart to update", "重启以更新")};
    return PillForm{QStringLiteral("arrow.down"), L10n::text("Update ", "新版本 ") + pending->version};
}

QString pillToolTip()
{
    return L10n::text("See what\u2019s new and install", "查看更新说明并安装");
}

QString kicker(const Updater::Panel& panel, const std::optional<Release>& pending)
{
    if (panel.kind == Updater::Panel::Kind::whatsNew)
        return L10n::text("WHAT\u2019S NEW", "本次更新");
    return pending ? L10n::text("NEW VERSION", "新版本") : L10n::text("SOFTWARE UPDATE", "软件更新");
}

std::optional<Release> shownRelease(const Updater::Panel& panel, const std::optional<Release>& pending)
{
    if (panel.kind == Updater::Panel::Kind::whatsNew)
        return panel.release;
    return pending;
}

QString percent(double fraction)
{
    if (std::isnan(fraction))
        fraction = 0;
    const double shown = std::round(std::clamp(fraction, -1e6, 1e6) * 100);
    return QString::number(qint64(shown)) + QLatin1Char('%');
}

QString safetyNote()
{
    return L10n::text("Before installing, Tavrin verifies the checksum, the developer signature and the release "
                      "attestation.",
                      "安装前会校验校验和、开发者签名与发布认证。");
}

QString laterTitle()
{
    return L10n::text("Later", "稍后");
}

Footer updateFooter(const Updater::State& state, const std::optional<QString>& requiredSystem, const QUrl& site,
                    bool feedSet)
{
    using B = Footer::Block;
    using A = PanelAction::Kind;
    Footer f;
    switch (state.kind) {
    case Kind::available:
        f.blocks = {B::buttons, B::safety};
        f.later = true;
        f.primary = PanelAction{A::download, L10n::text("Download and install", "下载并更新"), true};
        break;
    case Kind::downloading:
        f.blocks = {B::progress, B::buttons, B::safety};
        f.later = true;
        f.percent = percent(state.fraction);
        f.fill = std::isnan(state.fraction) ? 0 : std::clamp(state.fraction, 0.0, 1.0);
        break;
    case Kind::verifying:
        f.blocks = {B::working, B::buttons};
        f.later = true;
        f.working = L10n::text("Verifying the checksum, developer signature and release attestation\u2026",
                               "正在校验校验和、开发者签名与发布认证…");
        break;
    case Kind::readyToInstall:
        f.blocks = {B::readyNote, B::buttons};
        f.later = true;
        f.note = L10n::text("Verified. Tavrin restarts into the new version; the old one moves to the desktop\u2019s "
                            "trash.",
                            "校验通过。重启后即为新版本，旧版本会移入桌面的回收站。");
        f.primary = PanelAction{A::install, L10n::text("Restart to finish", "重启以完成更新"), true};
        break;
    case Kind::installing:
        f.blocks = {B::working};
        f.working = L10n::text("Installing and restarting\u2026", "正在安装并重启…");
        break;
    case Kind::checking:
        f.blocks = {B::working, B::buttons};
        f.later = true;
        f.working = L10n::text("Checking for updates\u2026", "正在检查更新…");
        break;
    case Kind::failed:
        f.note = state.message;
        if (state.manual ? site.isEmpty() : !feedSet) {
            // Neither a retry nor the site can help: only a way to close.
            f.blocks = {B::failure, B::okRow};
            f.hiddenClose = true;
            f.primary = PanelAction{A::dismiss, L10n::text("OK", "好"), true};
            break;
        }
        f.blocks = {B::failure, B::buttons};
        f.later = true;
        if (state.manual)
            f.primary = PanelAction{A::openSite, L10n::text("Open ", "打开 ") + site.host(), false};
        else
            f.primary = PanelAction{A::retry, L10n::text("Try again", "重试"), true};
        break;
    case Kind::idle:
    case Kind::upToDate:
        f.blocks = {B::status, B::okRow};
        f.hiddenClose = true;
        f.note = requiredSystem
            ? L10n::text("The new version requires Linux kernel ", "新版本需要 Linux 内核 ") + *requiredSystem
                + L10n::text(" or later and can\u2019t be installed on this computer.", " 或更高版本，当前系统无法安装。")
            : L10n::text("Tavrin is up to date.", "已是最新版本。");
        f.primary = PanelAction{A::dismiss, L10n::text("OK", "好"), true};
        break;
    }
    return f;
}

Footer whatsNewFooter(const QUrl& allReleases)
{
    Footer f;
    f.blocks = {Footer::Block::okRow};
    f.hiddenClose = true;
    f.releases = allReleases;
    f.primary = PanelAction{PanelAction::Kind::dismiss, L10n::text("OK", "好"), true};
    return f;
}

} // namespace UpdateViewModel
