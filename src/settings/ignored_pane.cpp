#include "settings/ignored_pane.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"
#include "ui/section_title.h"
#include "ui/shrink_label.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

std::vector<IgnoredPane::Row> IgnoredPane::rows(const QStringList& ignored,
                                                const std::vector<GroupSample>& groups)
{
    std::vector<Row> out;
    out.reserve(std::size_t(ignored.size()));
    for (const QString& name : ignored) {
        Row row{name, std::nullopt};
        for (const GroupSample& group : groups)
            if (group.name == name) {
                row.bundlePath = group.bundlePath;
                break;
            }
        out.push_back(std::move(row));
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

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { refreshGate_.schedule(); });
    rebuild();
}

PressButton* IgnoredPane::unmuteButton(int index) const
{
    if (index < 0 || std::size_t(index) >= buttons_.size())
        return nullptr;
    return buttons_[std::size_t(index)];
}

bool IgnoredPane::showsEmptyState() const
{
    return empty_ != nullptr;
}

void IgnoredPane::refresh()
{
    const std::vector<Row> next = rows(monitor_.prefs().ignored, monitor_.snapshot().groups);
    if (next == rows_)
        return;
    const bool sameNames = next.size() == rows_.size()
        && std::equal(next.begin(), next.end(), rows_.begin(),
                      [](const Row& a, const Row& b) { return a.name == b.name; });
    if (!sameNames) {
        rebuild();
        return;
    }
    // Only icons changed: a muted app started or quit.
    rows_ = next;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        icons_[i]->setBundlePath(rows_[i].bundlePath);
}

void IgnoredPane::rebuild()
{
    rows_ = rows(monitor_.prefs().ignored, monitor_.snapshot().groups);
    delete empty_;
    empty_ = nullptr;
    for (QWidget* w : rowWidgets_)
        delete w;
    rowWidgets_.clear();
    icons_.clear();
    buttons_.clear();

    if (rows_.empty()) {
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
        return;
    }

    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        if (i > 0) {
            auto* line = new Hairline(card_);
            card_->add(line);
            rowWidgets_.push_back(line);
        }
        auto* w = new QWidget(card_);
        w->setFixedHeight(42);
        auto* line = new QHBoxLayout(w);
        line->setContentsMargins(14, 0, 14, 0);
        line->setSpacing(10);
        auto* icon = new ProcessIcon(row.name, row.bundlePath, 20, w);
        line->addWidget(icon, 0, Qt::AlignVCenter);
        // Process names come from outside: painted as plain text.
        auto* name = new ShrinkLabel(row.name, Fonts::font(13, QFont::Medium), Theme::text(), 1, w);
        name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        line->addWidget(name, 1, Qt::AlignVCenter);
        auto* unmute = new PressButton(PressStyle::text(), L10n::text("Unmute", "恢复告警"), w);
        unmute->setLabelFont(Fonts::font(11, QFont::Medium));
        unmute->setColor(Theme::cpu());
        unmute->setFocusPolicy(Qt::TabFocus);
        const QString key = row.name;
        connect(unmute, &QAbstractButton::clicked, this, [this, key] { this->unmute(key); });
        line->addWidget(unmute, 0, Qt::AlignVCenter);
        card_->add(w);
        rowWidgets_.push_back(w);
        icons_.push_back(icon);
        buttons_.push_back(unmute);
    }
}

void IgnoredPane::unmute(const QString& name)
{
    Preferences prefs = monitor_.prefs();
    prefs.ignored.removeAll(name);
    monitor_.setPrefs(prefs);
}
