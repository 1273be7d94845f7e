#include "settings/general_pane.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "model/pref_binding.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/section_title.h"
#include "ui/segmented.h"
#include "ui/text_label.h"
#include "ui/theme.h"
#include "ui/toggle_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

GeneralPane::GeneralPane(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    const auto section = [&](const QString& title, QWidget* content) {
        column->addWidget(new SectionTitle(title, Theme::dim(), this));
        auto* card = new Card(this);
        card->add(content);
        column->addWidget(card);
    };

    notify_ = new ToggleRow(
        L10n::text("Notify when a new issue appears", "出现新的异常时发送系统通知"),
        L10n::text("When off, issues are still logged in the black box and the tray icon still "
                   "changes color.",
                   "关闭后异常仍会记录在「黑匣子」里，托盘图标也照常变色。"),
        prefBinding<bool>(monitor, [](Preferences& p) -> bool& { return p.notify; }));
    section(L10n::text("Notifications", "通知"), notify_);

    // A tray icon has no room for text beside it: the percent goes into its
    // tooltip, and that is all this switch changes.
    tray_ = new ToggleRow(
        L10n::text("Show CPU percentage in the tray tooltip", "在托盘提示中显示 CPU 百分比"),
        L10n::text("Pointing at the tray icon shows the total CPU load after the name; the icon keeps "
                   "its per-core bars either way. Without a tray, closing the window quits Tavrin.",
                   "指针停在托盘图标上时，提示在名称后显示总 CPU 占用；图标本身始终显示每个核心的柱状图。"
                   "桌面没有托盘时，关闭窗口即退出 Tavrin。"),
        prefBinding<bool>(monitor, [](Preferences& p) -> bool& { return p.menuBarPercent; }));
    section(L10n::text("Tray", "托盘"), tray_);

    sounds_ = new ToggleRow(
        L10n::text("Interface sounds", "界面音效"),
        L10n::text("Plays only during the welcome and on confirmations (a completed hold-to-quit, a "
                   "copy). Monitoring is always silent. Also stays silent when the desktop's "
                   "\u201cEvent sounds\u201d are off in its sound settings.",
                   "仅在欢迎介绍与确认操作（按住结束完成、复制）时发声，监控过程中从不发声。"
                   "桌面声音设置里关闭「事件声音」时同样不发声。"),
        prefBinding<bool>(monitor, [](Preferences& p) -> bool& { return p.sounds; }));
    section(L10n::text("Sound", "声音"), sounds_);

    auto* languageRow = new QWidget(this);
    auto* row = new QHBoxLayout(languageRow);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(TextLabel::make(L10n::text("Interface language", "界面语言"),
                                     Fonts::font(13, QFont::Medium), Theme::text(), false, languageRow));
    texts->addWidget(TextLabel::make(
        L10n::text("System follows this computer: Chinese when it is the preferred language, English "
                   "otherwise. Changes apply at once.",
                   "跟随系统时，系统首选语言为中文则显示中文，否则显示英文。切换后立即生效。"),
        Fonts::font(11.5), Theme::dim(), true, languageRow));
    row->addLayout(texts, 1);
    language_ = Segmented::make<AppLanguage>(
        {{AppLanguage::system, L10n::text("System", "跟随系统")},
         {AppLanguage::zh, QStringLiteral("中文")},
         {AppLanguage::en, QStringLiteral("English")}},
        prefBinding<AppLanguage>(monitor, [](Preferences& p) -> AppLanguage& { return p.language; }),
        languageRow);
    row->addWidget(language_, 0, Qt::AlignTop);
    section(QStringLiteral("语言 / Language"), languageRow);

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
}

void GeneralPane::refresh()
{
    notify_->sync();
    tray_->sync();
    sounds_->sync();
    language_->sync();
}
