#include "settings/about_pane.h"

#include "core/build_info.h"
#include "core/fmt.h"
#include "core/l10n.h"
#include "engine/incident_store.h"
#include "platform/file_manager.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/plain_text.h"
#include "ui/press_button.h"
#include "ui/section_title.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QWidget* padded(QWidget* parent, QLayout* layout)
{
    auto* row = new QWidget(parent);
    row->setLayout(layout);
    layout->setContentsMargins(14, 14, 14, 14);
    return row;
}

PressButton* textButton(const QString& text, QWidget* parent)
{
    auto* button = new PressButton(PressStyle::text(), text, parent);
    button->setLabelFont(Fonts::font(11, QFont::Medium));
    button->setColor(Theme::cpu());
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A card of a title over a line, and one text button at the right.
QWidget* actionCard(QWidget* parent, const QString& title, QLabel* line, PressButton* button)
{
    auto* card = new Card(parent);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(TextLabel::make(title, Fonts::font(13, QFont::Medium), Theme::text(), false, card));
    texts->addWidget(line);
    row->addLayout(texts, 1);
    row->addWidget(button, 0, Qt::AlignVCenter);
    card->add(padded(card, row));
    return card;
}

// One line that is cut in the middle when the pane is narrow, with the
// whole text in its tooltip: the log's path and the data sources.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString& text, const QFont& font, Qt::Alignment alignment, QWidget* parent)
        : QLabel(parent)
        , full_(text)
    {
        setTextFormat(Qt::PlainText);
        setFont(font);
        setAlignment(alignment | Qt::AlignVCenter);
        TextLabel::setColor(this, Theme::dim());
        setMinimumWidth(40);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setToolTip(PlainText::toolTip(text));
        setText(text);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        setText(Fonts::elided(fontMetrics(), full_, Qt::ElideMiddle, width()));
    }

private:
    QString full_;
};

} // namespace

std::vector<std::pair<QString, QString>> AboutPane::sources()
{
    return {
        {L10n::text("Per-core CPU, memory breakdown and pressure", "各核 CPU、内存构成与压力"),
         L10n::text("/proc/stat, /proc/meminfo, /proc/pressure/memory, every second",
                    "/proc/stat、/proc/meminfo、/proc/pressure/memory，每秒一次")},
        {L10n::text("Per-process CPU, memory, threads, handles", "每进程 CPU、内存、线程、句柄"),
         L10n::text("/proc/PID/*, every 2 s", "/proc/PID/*，每 2 秒一次")},
        {L10n::text("CPU and memory of system processes", "系统进程的 CPU 与内存"),
         L10n::text("/proc/PID/stat and status, every 2 s", "/proc/PID/stat 与 status，每 2 秒一次")},
        {L10n::text("Connections, traffic and listening ports", "连接、流量与监听端口"),
         L10n::text("sock_diag netlink, read in-process, every 2 s", "sock_diag netlink，进程内读取，每 2 秒一次")},
        {L10n::text("Domain names", "域名"),
         L10n::text("Reverse lookups via the system resolver, cached", "系统解析器的反向查询，结果缓存")},
        {L10n::text("Disk and network totals", "磁盘与网络总量"),
         QStringLiteral("/proc/net/dev, /sys/block, /sys/class/net")},
        {L10n::text("GPU and open files", "GPU 与打开的文件"),
         QStringLiteral("/sys/class/drm/*/device/gpu_busy_percent, /proc/sys/fs/file-nr")},
        {L10n::text("Core types", "核心类型"),
         L10n::text("/sys/devices/cpu_atom/cpus or cpu_capacity", "/sys/devices/cpu_atom/cpus 或 cpu_capacity")},
        {L10n::text("Application names and icons", "应用名称与图标"),
         L10n::text("Desktop entries", "桌面条目")},
    };
}

QString AboutPane::ownCPU(double percent)
{
    return percent >= 100 ? QString::asprintf("%.0f%%", percent) : QString::asprintf("%.1f%%", percent);
}

AboutPane::Overview AboutPane::overview(const Monitor& monitor, const std::optional<QString>& version,
                                        const std::optional<QString>& build)
{
    return {version.value_or(L10n::text("Dev build", "开发构建")),
            build.value_or(QStringLiteral("—")),
            ownCPU(monitor.snapshot().selfCPU),
            Fmt::bytes(static_cast<double>(monitor.snapshot().selfMem)),
            QString::number(monitor.incidents().size())};
}

AboutPane::AboutPane(Monitor& monitor, CardFactory updateCard, std::function<void()> showMain,
                     QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , showMain_(std::move(showMain))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Overview: five figures from the leading edge.
    shown_ = overview(monitor, BuildInfo::shortVersion(), BuildInfo::buildNumber());
    auto* overviewCard = new Card(this);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(22);
    const QString labels[] = {L10n::text("Version", "版本"), L10n::text("Build", "构建"),
                              L10n::text("Own CPU", "自身 CPU"), L10n::text("Own memory", "自身内存"),
                              L10n::text("Incidents logged", "已记录事件")};
    const QString values[] = {shown_.version, shown_.build, shown_.cpu, shown_.memory, shown_.incidents};
    for (int i = 0; i < 5; ++i) {
        auto* figure = new QVBoxLayout;
        figure->setSpacing(2);
        auto* value = TextLabel::make(values[i], Fonts::mono(15, QFont::Medium), Theme::text(), false,
                                      overviewCard);
        figures_.push_back(value);
        figure->addWidget(value);
        figure->addWidget(TextLabel::make(labels[i], Fonts::font(10.5), Theme::dim(), false, overviewCard));
        figures->addLayout(figure);
    }
    figures->addStretch(1);
    overviewCard->add(padded(overviewCard, figures));
    layout->addWidget(overviewCard);

    if (updateCard) {
        layout->addWidget(new SectionTitle(L10n::text("Software update", "软件更新"), Theme::cpu(), this));
        // The card brings its rows and hairlines; the pane frames them like
        // its neighbours.
        auto* frame = new Card(this);
        frame->add(updateCard(frame));
        layout->addWidget(frame);
    }

    layout->addWidget(new SectionTitle(L10n::text("Data sources", "数据来源"), Theme::dim(), this));
    auto* sourceCard = new Card(this);
    const auto rows = sources();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0)
            sourceCard->add(new Hairline(sourceCard));
        auto* row = new QWidget(sourceCard);
        row->setFixedHeight(34);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(14, 0, 14, 0);
        line->setSpacing(12);
        line->addWidget(TextLabel::make(rows[i].first, Fonts::font(12.5), Theme::text(), false, row));
        // A long list of files is cut rather than widening the pane.
        line->addWidget(new ElidedLabel(rows[i].second, Fonts::font(11.5), Qt::AlignRight, row), 1);
        sourceCard->add(row);
    }
    layout->addWidget(sourceCard);

    auto* privacy = TextLabel::make(
        L10n::text("No reading needs administrator rights or any privacy permission. Tavrin goes "
                   "online only to look up the names of remote addresses and to check for and "
                   "download updates from its web site; it uploads nothing.",
                   "所有读数都无需管理员权限或任何隐私授权。Tavrin 只在反查远端地址的域名、以及从官网检查和下载更新时联网，不上传任何数据。"),
        Fonts::font(11), Theme::faint(), true, this);
    privacy->setContentsMargins(0, 10, 0, 0);
    layout->addWidget(privacy);

    layout->addWidget(new SectionTitle(L10n::text("Incident log", "事件记录"), Theme::dim(), this));
    auto* reveal = textButton(L10n::text("Show in File Manager", "在文件管理器中显示"), this);
    connect(reveal, &QAbstractButton::clicked, this, &AboutPane::revealLog);
    layout->addWidget(actionCard(this, L10n::text("Black box file", "黑匣子文件"),
                                 new ElidedLabel(IncidentStore::defaultPath(), Fonts::mono(9.5), Qt::AlignLeft, this), reveal));

    layout->addWidget(new SectionTitle(L10n::text("Welcome", "欢迎"), Theme::dim(), this));
    auto* again = textButton(L10n::text("Show welcome again", "再看一次欢迎"), this);
    connect(again, &QAbstractButton::clicked, this, &AboutPane::showWelcome);
    layout->addWidget(actionCard(
        this, L10n::text("The first-launch introduction", "首次启动时的介绍"),
        TextLabel::make(L10n::text("Four steps on what Tavrin does, what it records and when it goes online.",
                                   "四步说明 Tavrin 的用途、记录方式与联网行为。"),
                        Fonts::font(11.5), Theme::dim(), true, this),
        again));

    for (auto signal : {&Monitor::snapshotChanged, &Monitor::incidentsChanged})
        connect(&monitor, signal, this, [this] { gate_.schedule(); });
}

void AboutPane::refresh()
{
    const Overview next = overview(monitor_, BuildInfo::shortVersion(), BuildInfo::buildNumber());
    if (next == shown_)
        return;
    shown_ = next;
    const QString values[] = {shown_.version, shown_.build, shown_.cpu, shown_.memory, shown_.incidents};
    for (std::size_t i = 0; i < figures_.size(); ++i)
        if (figures_[i]->text() != values[i])
            figures_[i]->setText(values[i]);
}

void AboutPane::revealLog()
{
    const QString path = IncidentStore::defaultPath();
    if (!path.isEmpty())
        FileManager::reveal(path);
}

void AboutPane::showWelcome()
{
    if (showMain_)
        showMain_();
    monitor_.setWelcome(true);
}
