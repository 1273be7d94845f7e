#include "settings/network_pane.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "model/pref_binding.h"
#include "ui/card.h"
#include "ui/fonts.h"
#include "ui/hairline.h"
#include "ui/section_title.h"
#include "ui/text_label.h"
#include "ui/theme.h"
#include "ui/toggle_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

class Bullet final : public QWidget {
public:
    explicit Bullet(QWidget* parent) : QWidget(parent) { setFixedSize(4, 4); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::faint());
        p.drawEllipse(QRectF(rect()));
    }
};

} // namespace

NetworkPane::Counts NetworkPane::count(const std::vector<Connection>& connections)
{
    Counts c;
    for (const Connection& connection : connections) {
        if (connection.scope == Connection::Scope::loopback)
            continue;
        ++c.outbound;
        if (!connection.host)
            continue;
        ++c.resolved;
        if (connection.remoteHost.startsWith(QLatin1String("198.18."))
            || connection.remoteHost.startsWith(QLatin1String("198.19.")))
            ++c.proxy;
    }
    c.reverse = c.resolved - c.proxy;
    return c;
}

NetworkPane::NetworkPane(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    column->addWidget(new SectionTitle(L10n::text("Domains", "域名"), Theme::net(), this));
    auto* domains = new Card(this);
    resolve_ = new ToggleRow(
        L10n::text("Resolve remote IPs to names", "把远端 IP 解析成域名"),
        L10n::text("Runs one reverse DNS lookup per remote address and caches the result. The lookups "
                   "add a few DNS requests of their own. When off, Flows and Domains show IP "
                   "addresses only.",
                   "对每个远端地址做一次反向 DNS 查询并缓存。查询本身会产生少量 DNS 请求；关闭后流向图和"
                   "域名视图只显示 IP。"),
        prefBinding<bool>(monitor, [](Preferences& p) -> bool& { return p.resolveHosts; }));
    domains->add(resolve_);
    domains->add(new Hairline(domains));

    auto* body = new QWidget(domains);
    auto* stack = new QVBoxLayout(body);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(10);
    auto* stats = new QHBoxLayout;
    stats->setSpacing(22);
    stats->addWidget(stat(outbound_, L10n::text("Outbound connections", "当前对外连接")));
    stats->addWidget(stat(resolved_, L10n::text("Resolved to names", "已解析出域名")));
    stats->addWidget(stat(proxy_, L10n::text("From proxy mapping", "来自代理映射")));
    stats->addWidget(stat(reverse_, L10n::text("From reverse DNS", "来自反向查询")));
    stats->addStretch(1);
    stack->addLayout(stats);
    stack->addWidget(TextLabel::make(L10n::text("Names come from two sources, and they are not equally "
                                                "reliable:",
                                                "名字有两种来源，可信度不同："),
                                     Fonts::font(11.5), Theme::dim(), true, body));
    stack->addWidget(source(
        L10n::text("Proxy map", "代理映射"),
        L10n::text("With a fake-IP proxy such as Surge, remote addresses fall in 198.18.0.0/15 and the "
                   "lookup returns the exact domain the app requested.",
                   "使用 Surge 等 fake-IP 代理时，远端地址落在 198.18.0.0/15，反查得到的就是 App "
                   "当初请求的域名，是准确的。")));
    stack->addWidget(source(
        L10n::text("Reverse DNS", "反向查询"),
        L10n::text("Other addresses return a PTR record, often a CDN or cloud host name rather than the "
                   "domain the app requested. These are marked PTR.",
                   "其他地址拿到的是 PTR 记录，常见的是 CDN 或云厂商的主机名，不一定等于 App "
                   "请求的域名。界面上会标「反查」。")));
    domains->add(body);
    column->addWidget(domains);

    column->addWidget(new SectionTitle(L10n::text("How it is measured", "口径"), Theme::dim(), this));
    auto* measured = new Card(this);
    auto* notes = new QWidget(measured);
    auto* list = new QVBoxLayout(notes);
    list->setContentsMargins(14, 14, 14, 14);
    list->setSpacing(8);
    list->addWidget(note(L10n::text(
        "Connections are sampled every 2 s. A connection that opens and closes between two samples is "
        "missed, so traffic is slightly undercounted.",
        "每 2 秒取一次连接快照。两次快照之间建立并关闭的短连接不会被看到，流量因此会略微少算。")));
    list->addWidget(note(L10n::text(
        "Watching the system\u2019s DNS queries needs root. Domains records the remote name of each "
        "connection, not the DNS queries themselves.",
        "系统的 DNS 查询记录需要 root 权限才能观察。「域名」视图记录的是每条连接的远端域名，"
        "而不是 DNS 查询本身。")));
    list->addWidget(note(L10n::text(
        "System network speed counts only physical interfaces (those backed by a device, loopback "
        "excluded), so a VPN\u2019s virtual interface does not count the same traffic twice.",
        "整机网速只统计有硬件设备的物理网卡（不含回环），避免 VPN 虚拟网卡把同一份流量再算一遍。")));
    measured->add(notes);
    column->addWidget(measured);

    connect(&monitor, &Monitor::prefsChanged, this, [this] { refreshGate_.schedule(); });
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { refreshGate_.schedule(); });
    counts_ = Counts{-1, -1, -1, -1};
    refresh();
}

QWidget* NetworkPane::stat(QLabel*& value, const QString& title)
{
    auto* cell = new QWidget(this);
    auto* stack = new QVBoxLayout(cell);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    value = TextLabel::make(QStringLiteral("0"), Fonts::mono(17, QFont::Medium), Theme::text(), false, cell);
    stack->addWidget(value);
    stack->addWidget(TextLabel::make(title, Fonts::font(10.5), Theme::dim(), false, cell));
    return cell;
}

QWidget* NetworkPane::source(const QString& title, const QString& text)
{
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel* name = TextLabel::make(title, Fonts::font(11, QFont::DemiBold), Theme::text(), false, row);
    name->setFixedWidth(L10n::isChinese() ? 56 : 76);
    line->addWidget(name, 0, Qt::AlignTop);
    line->addWidget(TextLabel::make(text, Fonts::font(11.5), Theme::dim(), true, row), 1);
    return row;
}

QWidget* NetworkPane::note(const QString& text)
{
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    auto* bulletBox = new QVBoxLayout;
    bulletBox->setContentsMargins(0, 6, 0, 0);
    bulletBox->addWidget(new Bullet(row));
    bulletBox->addStretch(1);
    line->addLayout(bulletBox);
    line->addWidget(TextLabel::make(text, Fonts::font(11.5), Theme::dim(), true, row), 1);
    return row;
}

void NetworkPane::refresh()
{
    resolve_->sync();
    const Counts next = count(monitor_.snapshot().connections);
    if (next == counts_)
        return;
    counts_ = next;
    outbound_->setText(QString::number(counts_.outbound));
    resolved_->setText(QString::number(counts_.resolved));
    proxy_->setText(QString::number(counts_.proxy));
    reverse_->setText(QString::number(counts_.reverse));
}
