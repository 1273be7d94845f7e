#include "settings/ignored_pane.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/section_title.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHash>
#include <QVBoxLayout>

std::vector<IgnoredPane::Row> IgnoredPane::rows(const QStringList& ignored,
                                                const std::vector<GroupSample>& groups)
{
    QHash<QString, const GroupSample*> first;
    first.reserve(qsizetype(groups.size()));
    for (const GroupSample& group : groups)
        if (!first.contains(group.name))
            first.insert(group.name, &group);
    std::vector<Row> out;
    out.reserve(std::size_t(ignored.size()));
    for (const QString& name : ignored) {
        const GroupSample* group = first.value(name);
        out.push_back(Row{name, ProcSample::cleanName(name),
                          group ? group->bundlePath : std::optional<QString>()});
    }
    return out;
}

IgnoredPane::IgnoredPane(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(TextLabel::make(
        L10n::text("For processes whose heavy usage is normal, such as compilers or browsers. They "
                   "still appear in every view, but no longer raise incidents or notifications.",
                   "适用于长期高占用但属正常的进程，例如编译器或浏览器。这些进程仍显示在所有视图中，"
                   "但不再产生异常事件和通知。"),
        Fonts::font(11.5), Theme::dim(), true, this));
    column->addWidget(new SectionTitle(L10n::text("List", "名单"), Theme::dim(), this));
    card_ = new Card(this);
    column->addWidget(card_);

    empty_ = new QWidget(card_);
    auto* stack = new QVBoxLayout(empty_);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(6);
    stack->addWidget(TextLabel::make(L10n::text("No muted processes", "名单为空"),
                                     Fonts::font(13, QFont::Medium), Theme::text(), false, empty_));
    stack->addWidget(TextLabel::make(
        L10n::text("Select a process in the main window, then click Mute alerts at the bottom of "
                   "the inspector. It will appear here.",
                   "在主窗口选中一个进程，再点击检查器底部的「不再告警」，该进程即加入名单。"),
        Fonts::font(11.5), Theme::dim(), true, empty_));
    card_->add(empty_);
    list_ = new MutedList([this](const QString& name) { unmute(name); }, card_);
    card_->add(list_);

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { refreshGate_.schedule(); });
    list_->setRows(rows(monitor_.prefs().ignored, monitor_.snapshot().groups), false);
    empty_->setVisible(list_->rows().empty());
}

const std::vector<IgnoredPane::Row>& IgnoredPane::shown() const
{
    return list_->rows();
}

bool IgnoredPane::showsEmptyState() const
{
    return !empty_->isHidden();
}

void IgnoredPane::refresh()
{
    list_->setRows(rows(monitor_.prefs().ignored, monitor_.snapshot().groups), true);
    empty_->setVisible(list_->rows().empty());
}

void IgnoredPane::unmute(const QString& name)
{
    Preferences prefs = monitor_.prefs();
    prefs.ignored.removeAll(name);
    monitor_.setPrefs(prefs);
}
