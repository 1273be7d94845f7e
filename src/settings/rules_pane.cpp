#include "settings/rules_pane.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "model/pref_binding.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/press_button.h"
#include "ui/section_title.h"
#include "ui/text_label.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <limits>

namespace {

// The legend's two swatches: the default mark and the live dot.
class Swatch final : public QWidget {
public:
    Swatch(bool dot, QWidget* parent) : QWidget(parent), dot_(dot) { setFixedSize(dot ? 6 : 2, dot ? 6 : 10); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        if (dot_) {
            p.setBrush(Theme::net());
            p.drawEllipse(QRectF(rect()));
        } else {
            p.fillRect(QRectF(0.25, 0, 1.5, 10), Theme::dim());
        }
    }

private:
    bool dot_;
};

QWidget* legend(QWidget* swatch, const QString& label, QWidget* parent)
{
    auto* w = new QWidget(parent);
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    swatch->setParent(w);
    row->addWidget(swatch, 0, Qt::AlignVCenter);
    row->addWidget(TextLabel::make(label, Fonts::font(11), Theme::dim(), false, w), 0, Qt::AlignVCenter);
    return w;
}

std::optional<RuleRow::Live> peakOf(const Snapshot& snapshot, const std::function<double(const ProcSample&)>& metric,
                                    double scale)
{
    const ProcSample* holder = nullptr;
    double best = 0;
    for (const GroupSample& group : snapshot.groups)
        for (const ProcSample& p : group.members) {
            const double v = metric(p);
            if (!holder || best < v) {
                holder = &p;
                best = v;
            }
        }
    if (!holder || !(best > 0))
        return std::nullopt;
    return RuleRow::Live{best / scale, holder->name};
}

} // namespace

RulesPane::Peaks RulesPane::peaks(const Snapshot& snapshot)
{
    Peaks out;
    out[0] = RuleRow::Live{snapshot.system.cpu * 100, L10n::text("System", "整机")};
    out[1] = peakOf(snapshot, [](const ProcSample& p) { return p.cpu; }, 1);
    out[2] = peakOf(snapshot, [](const ProcSample& p) { return double(p.mem); }, 1073741824.0);
    out[4] = peakOf(snapshot, [](const ProcSample& p) { return double(p.threads); }, 1);
    out[5] = peakOf(snapshot, [](const ProcSample& p) { return double(p.fds); }, 1);
    out[6] = peakOf(snapshot, [](const ProcSample& p) { return p.netIn; }, 1048576.0);
    out[7] = peakOf(snapshot, [](const ProcSample& p) { return p.netOut; }, 1048576.0);
    return out;
}

Binding<double> RulesPane::intBinding(Binding<int64_t> binding)
{
    return binding.map<double>([](int64_t v) { return double(v); },
                               [](double v) -> int64_t {
                                   if (std::isnan(v))
                                       return 0;
                                   constexpr double top = 9.2e18;
                                   return int64_t(std::trunc(std::clamp(v, -top, top)));
                               });
}

RulesPane::RulesPane(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setSpacing(14);
    header->addWidget(legend(new Swatch(false, this), L10n::text("Default", "默认值"), this));
    header->addWidget(legend(new Swatch(true, this),
                             L10n::text("Highest on this computer right now", "本机当前的最高值"), this));
    header->addStretch(1);
    resetAll_ = new PressButton(PressStyle::text(), L10n::text("Reset all", "全部恢复默认"), this);
    resetAll_->setLabelFont(Fonts::font(11, QFont::Medium));
    resetAll_->setColor(Theme::warn());
    resetAll_->setFocusPolicy(Qt::TabFocus);
    connect(resetAll_, &QAbstractButton::clicked, this, [this] {
        Preferences prefs = monitor_.prefs();
        prefs.thresholds = defaults_;
        monitor_.setPrefs(prefs);
        refresh();
    });
    header->addWidget(resetAll_);
    column->addLayout(header);

    using T = Thresholds;
    const auto field = [&monitor](double T::*member) {
        return prefBinding<double>(monitor, [member](Preferences& p) -> double& { return p.thresholds.*member; });
    };
    const auto count = [&monitor](int64_t T::*member) {
        return intBinding(
            prefBinding<int64_t>(monitor, [member](Preferences& p) -> int64_t& { return p.thresholds.*member; }));
    };
    const auto range = [](Thresholds::Range r) { return RuleSlider::Range{r.lower, r.upper}; };
    const Peaks live = peaks(monitor.snapshot());
    const auto make = [&](int index, const char* en, const char* zh, const char* sentenceEn,
                          const char* sentenceZh, RuleSlider::Range range, double step, const char* unit,
                          double fallback, const QColor& color, Binding<double> binding) {
        RuleRow::Spec spec{L10n::text(en, zh), L10n::text(sentenceEn, sentenceZh), range, step,
                           QString::fromUtf8(unit), fallback, color};
        rows_[std::size_t(index)] = new RuleRow(std::move(spec), std::move(binding), live[std::size_t(index)], this);
        return rows_[std::size_t(index)];
    };
    const auto section = [&](const QString& title, const QColor& color, RuleRow* first, RuleRow* second) {
        column->addWidget(new SectionTitle(title, color, this));
        auto* card = new Card(this);
        card->add(first);
        card->add(new Hairline(card));
        card->add(second);
        column->addWidget(card);
    };

    const Thresholds& d = defaults_;
    section(L10n::text("Processor", "处理器"), Theme::cpu(),
            make(0, "System CPU", "整机 CPU",
                 "System usage above {} for 8 s; logs the three busiest processes",
                 "整机占用超过 {} 并持续 8 秒，记录当时最忙的三个进程", range(T::systemCPURange), 5, "%", d.systemCPU,
                 Theme::cpu(), field(&T::systemCPU)),
            make(1, "Per-process CPU", "单个进程 CPU",
                 "100% is one core. Above {} for 45 s; 4\u00d7 that is critical",
                 "100% 是一个核心。超过 {} 并持续 45 秒；达到 4 倍记为严重", range(T::processCPURange), 50, "%",
                 d.processCPU, Theme::cpu(), field(&T::processCPU)));
    section(L10n::text("Memory", "内存"), Theme::mem(),
            make(2, "Per-process memory", "单个进程内存", "Alerts above {}; 2.5\u00d7 that is critical",
                 "占用超过 {} 即告警；达到 2.5 倍记为严重", range(T::memoryGBRange), 1, " GB", d.memoryGB, Theme::mem(),
                 field(&T::memoryGB)),
            make(3, "Memory growth", "内存增长速度", "A process grows by more than {} within 60 s",
                 "单个进程在 60 秒内增长超过 {}", range(T::memoryGrowthGBRange), 0.5, " GB", d.memoryGrowthGB, Theme::mem(),
                 field(&T::memoryGrowthGB)));
    section(L10n::text("Threads and file handles", "线程与文件句柄"), Theme::disk(),
            make(4, "Thread count", "线程数",
                 "A process has more than {} threads; gaining 150 within 60 s also alerts",
                 "单个进程超过 {} 个线程；60 秒内新增 150 个也会告警", range(T::threadsRange), 50, "",
                 double(d.threads), Theme::disk(), count(&T::threads)),
            make(5, "File handle count", "文件句柄数",
                 "A process has more than {} open handles; gaining 400 within 60 s also alerts",
                 "单个进程打开超过 {} 个句柄；60 秒内新增 400 个也会告警", range(T::fdsRange), 128, "",
                 double(d.fds), Theme::disk(), count(&T::fds)));
    section(L10n::text("Network traffic", "网络流量"), Theme::net(),
            make(6, "Download rate", "下载速度", "A process stays above {} for 10 s", "单个进程持续 10 秒超过 {}",
                 range(T::rateMBRange), 0.5, " MB/s", d.downloadMB, Theme::net(), field(&T::downloadMB)),
            make(7, "Upload rate", "上传速度", "A process stays above {} for 10 s", "单个进程持续 10 秒超过 {}",
                 range(T::rateMBRange), 0.5, " MB/s", d.uploadMB, Theme::net(), field(&T::uploadMB)));

    column->addSpacing(14);
    column->addWidget(TextLabel::make(
        L10n::text("Three more rules are fixed: elevated system memory pressure, system-wide open files "
                   "above 60% of the kernel limit, and an app gaining 20 or more processes within 60 s.",
                   "另有三条固定规则不可调：系统内存压力升高、全局打开文件数超过内核上限的 60%、"
                   "同一个 App 的进程数在 60 秒内新增 20 个以上。"),
        Fonts::font(11), Theme::faint(), true, this));

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { refreshGate_.schedule(); });
    resetAll_->setVisible(monitor_.prefs().thresholds != defaults_);
}

void RulesPane::refresh()
{
    const Peaks live = peaks(monitor_.snapshot());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i]->sync();
        rows_[i]->setLive(live[i]);
    }
    resetAll_->setVisible(monitor_.prefs().thresholds != defaults_);
}
