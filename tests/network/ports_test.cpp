#include "network/ports_model.h"
#include "network/ports_view.h"

#include "core/outside_text.h"
#include "ui/drawn_texts.h"
#include "app/view_fixture.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTextLayout>

#include <memory>
#include <tuple>

namespace {

Listener listener(int32_t pid, int64_t port, const QString& proto = QStringLiteral("TCP"),
                  bool localOnly = true)
{
    Listener l;
    l.pid = pid;
    l.port = port;
    l.proto = proto;
    l.localOnly = localOnly;
    return l;
}

std::vector<int64_t> ports(const std::vector<Listener>& listeners)
{
    std::vector<int64_t> result;
    for (const Listener& l : listeners)
        result.push_back(l.port);
    return result;
}

std::vector<QString> ids(const std::vector<PortRow>& rows)
{
    std::vector<QString> result;
    for (const PortRow& row : rows)
        result.push_back(row.id);
    return result;
}

Owner owner(const QString& name, const QString& process)
{
    return Owner{QStringLiteral("exe:") + name, name, std::nullopt, process};
}

} // namespace

TEST(PortsModel, FilterIsAPortPrefixOrAnOwnersNameAsTyped)
{
    const std::vector<Listener> all{listener(1, 80), listener(2, 8000), listener(3, 8080),
                                    listener(4, 1080), listener(5, 443), listener(6, 22)};
    PortsModel::Owners owners{{6, owner("OpenSSH", "sshd")}};
    EXPECT_EQ(ports(PortsModel::ordered(all, "80", owners)), (std::vector<int64_t>{80, 8000, 8080}));
    // An owner whose name holds the text is kept whatever its port.
    owners.emplace(5, owner("proxy80", "relay"));
    EXPECT_EQ(ports(PortsModel::ordered(all, "80", owners)),
              (std::vector<int64_t>{80, 443, 8000, 8080}));
    // Not trimmed: a leading blank matches no port.
    EXPECT_TRUE(PortsModel::ordered(all, " 80", owners).empty());
    // The service name is not searched; owner and process are, in any case.
    EXPECT_EQ(ports(PortsModel::ordered(all, "SSH", {})), (std::vector<int64_t>{}));
    EXPECT_EQ(ports(PortsModel::ordered(all, "ssh", owners)), (std::vector<int64_t>{22}));
    EXPECT_EQ(ports(PortsModel::ordered(all, "RELAY", owners)), (std::vector<int64_t>{443}));
    // Nor the pid or the protocol.
    EXPECT_TRUE(PortsModel::ordered(all, "TCP", {}).empty());
    EXPECT_EQ(PortsModel::ordered(all, "", {}).size(), all.size());
}

TEST(PortsModel, TiesGoByProtocolThenPid)
{
    const std::vector<Listener> all{listener(9, 53, "UDP"), listener(7, 53, "TCP"),
                                    listener(3, 53, "UDP"), listener(1, 5353, "UDP"),
                                    listener(2, 22, "TCP")};
    std::vector<QString> order;
    for (const Listener& l : PortsModel::ordered(all, "", {}))
        order.push_back(l.id());
    EXPECT_EQ(order, (std::vector<QString>{"2.TCP.22", "7.TCP.53", "3.UDP.53", "9.UDP.53",
                                           "1.UDP.5353"}));
}

TEST(PortsModel, ServiceNamesFollowTheLanguage)
{
    const bool chinese = L10n::isChinese();
    L10n::setChinese(false);
    const std::map<int64_t, QString> names = Ports::names();
    EXPECT_EQ(names.size(), 42u);
    EXPECT_EQ(Ports::service(631), "Printing");
    EXPECT_EQ(Ports::service(8888), "HTTP alt");
    EXPECT_FALSE(Ports::service(6009));
    EXPECT_FALSE(Ports::service(0));
    EXPECT_FALSE(Ports::service(99999));
    L10n::setChinese(true);
    EXPECT_EQ(Ports::service(631), "打印");
    EXPECT_EQ(Ports::service(8888), "HTTP 备用");
    EXPECT_EQ(Ports::service(5000), "AirPlay 接收");
    EXPECT_EQ(Ports::service(22), "SSH");
    EXPECT_EQ(Ports::service(3306), "MySQL");
    EXPECT_EQ(Ports::names().at(8080), "HTTP 代理");
    // Every lookup agrees with the table as read.
    for (const auto& [port, name] : Ports::names())
        EXPECT_EQ(Ports::service(port), name);
    L10n::setChinese(chinese);
}

class PortsTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        QCursor::setPos(-500, -500);
        monitor = make();
    }
    // One process per owned pid, in a group of its own.
    void feed(std::vector<Listener> listeners, std::vector<std::pair<int32_t, QString>> owned)
    {
        std::vector<GroupSample> groups;
        for (const auto& [pid, name] : owned)
            groups.push_back(group(name, 1, {pid}));
        Snapshot s = snapshotOf(std::move(groups));
        s.listeners = std::move(listeners);
        ingest(*monitor, s);
        runPending();
    }
    std::vector<PortRow> rows(const QString& filter = {})
    {
        return PortsModel::rows(monitor->snapshot().listeners, filter, monitor->owners(),
                                monitor->portsHold());
    }
    std::unique_ptr<Monitor> monitor;
};

TEST_F(PortsTest, RowsWithoutAnOwnerAndTheirMenus)
{
    feed({listener(40, 8080, "TCP", false), listener(41, 6009)}, {{40, "web"}});
    const std::vector<PortRow> shown = rows();
    ASSERT_EQ(shown.size(), 2u);
    const PortRow& owned = shown[1];
    const PortRow& unknown = shown[0];
    EXPECT_EQ(PortsModel::portText(owned), ":8080");
    EXPECT_EQ(PortsModel::serviceText(owned), "HTTP proxy");
    EXPECT_EQ(PortsModel::serviceText(unknown), "—");
    EXPECT_EQ(PortsModel::ownerText(unknown), "Unknown");
    EXPECT_EQ(PortsModel::processText(unknown), "?  41");
    EXPECT_EQ(PortsModel::processText(owned), "web-proc  40");
    EXPECT_EQ(PortsModel::visibilityText(owned), "Visible on LAN");
    EXPECT_TRUE(PortsModel::exposed(owned));
    EXPECT_EQ(PortsModel::visibilityText(unknown), "Local only");
    EXPECT_FALSE(PortsModel::exposed(unknown));

    EXPECT_EQ(PortsModel::menu(unknown, *monitor).titles(),
              (QStringList{"Copy Port Number", "Copy PID", "Copy Local Address"}));
    const MenuPlan menu = PortsModel::menu(owned, *monitor);
    EXPECT_EQ(menu.titles(), (QStringList{"Copy Port Number", "Copy PID", "Copy Local Address", "-",
                                          "Show in Inspector"}));
    EXPECT_TRUE(menu.trigger("Copy Local Address"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "localhost:8080");
    EXPECT_TRUE(menu.trigger("Copy PID"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "40");
    EXPECT_TRUE(menu.trigger("Show in Inspector"));
    EXPECT_EQ(monitor->selection(), "web");
    EXPECT_EQ(monitor->focusPid(), 40);

    L10n::setChinese(true);
    EXPECT_EQ(PortsModel::ownerText(unknown), "未知");
    EXPECT_EQ(PortsModel::menu(unknown, *monitor).titles(),
              (QStringList{"复制端口号", "复制 PID", "复制本机地址"}));
    EXPECT_EQ(PortsModel::emptyText("xyz"), "没有与「xyz」匹配的端口");
    L10n::setChinese(false);
    EXPECT_EQ(PortsModel::emptyText("xyz"), "No ports match “xyz”");
}

// Where the characters from..to of `text` land, laid out left to right as
// the window lays out its texts.
std::pair<double, double> span(const QString& text, int from, int to)
{
    QTextLayout layout(text, QFont());
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    double lo = 1e9, hi = -1e9;
    for (int i = from; i <= to; ++i) {
        lo = std::min(lo, line.cursorToX(i));
        hi = std::max(hi, line.cursorToX(i));
    }
    return {lo, hi};
}

TEST_F(PortsTest, RightToLeftNamesStayInTheirCellAndLongFiltersAreCut)
{
    PortRow row;
    row.listener = listener(4242, 80);
    for (const QString& process : {QStringLiteral("عربي"), QStringLiteral("עברית")}) {
        row.owner = Owner{"k", "n", std::nullopt, process};
        const QString text = PortsModel::processText(row);
        const int pid = int(text.indexOf(QStringLiteral("4242")));
        // The pid reads after the name, on its right.
        EXPECT_GT(span(text, pid, pid + 4).first, span(text, 0, pid - 2).second - 0.5) << text.toStdString();
    }
    // Left-to-right names are left as they are.
    row.owner = Owner{"k", "n", std::nullopt, "nginx"};
    EXPECT_EQ(PortsModel::processText(row), "nginx  4242");

    // A pasted page is cut to a line; an isolate in it cannot run past it.
    const QString pasted = QString(88000, QLatin1Char('x'));
    const QString text = PortsModel::emptyText(pasted);
    EXPECT_LT(text.size(), 80);
    EXPECT_TRUE(text.startsWith(QStringLiteral("No ports match “xxx")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("x…”")));
    EXPECT_EQ(PortsModel::emptyText(QStringLiteral("\u202eab")),
              QStringLiteral("No ports match “\u2068\ufffdab\u2069”"));
    // Marks stacked on one letter are cut too.
    EXPECT_LT(PortsModel::emptyText(QStringLiteral("Z") + QString(5000, QChar(0x0301))).size(), 300);
    L10n::setChinese(true);
    EXPECT_EQ(PortsModel::emptyText(QStringLiteral("שלום")), QStringLiteral("没有与「\u2068שלום\u2069」匹配的端口"));
    L10n::setChinese(false);
}

TEST_F(PortsTest, TheHoldKeepsClosedRowsWithTheirOwnerAndAppendsNewOnes)
{
    feed({listener(10, 22), listener(20, 80), listener(30, 443)},
         {{10, "ssh"}, {20, "web"}, {30, "tls"}});
    rows();
    monitor->portsHold().set(InteractionHold::Reason::pointer, true);
    // 80 closes and its pid now belongs to another program; 25 opens.
    feed({listener(10, 22), listener(30, 443), listener(50, 25)},
         {{10, "ssh"}, {20, "other"}, {30, "tls"}, {50, "mail"}});
    std::vector<PortRow> held = rows();
    EXPECT_EQ(ids(held), (std::vector<QString>{"10.TCP.22", "20.TCP.80", "30.TCP.443", "50.TCP.25"}));
    EXPECT_TRUE(held[1].closed);
    EXPECT_EQ(PortsModel::visibilityText(held[1]), "Closed");
    EXPECT_FALSE(PortsModel::exposed(held[1]));
    // The help keeps the socket's own flag.
    EXPECT_EQ(PortsModel::visibilityHelp(held[1]),
              "Bound to the loopback address only; other devices can’t connect");
    // Shown with the owner it had, not whoever has the pid now.
    ASSERT_TRUE(held[1].owner);
    EXPECT_EQ(held[1].owner->name, "web");
    EXPECT_FALSE(held[3].closed);

    // A new filter re-sorts at once, though the pointer still holds.
    EXPECT_EQ(ids(rows("2")), (std::vector<QString>{"10.TCP.22", "50.TCP.25"}));
    EXPECT_EQ(ids(rows("")), (std::vector<QString>{"10.TCP.22", "50.TCP.25", "30.TCP.443"}));

    // The release sorts and the closed row is gone.
    monitor->portsHold().set(InteractionHold::Reason::pointer, false);
    advance(1);
    EXPECT_FALSE(monitor->portsHold().active());
    EXPECT_EQ(ids(rows()), (std::vector<QString>{"10.TCP.22", "50.TCP.25", "30.TCP.443"}));
}

TEST_F(PortsTest, ViewShowsTheEmptyTextsAndRowsAndActsOnClicks)
{
    PortsView view(*monitor);
    showOffscreen(view, {900, 300});
    runPending();
    EXPECT_TRUE(view.emptyLabel()->isVisible());
    EXPECT_EQ(view.emptyLabel()->text(),
              "Nothing is listening right now. Ports appear here as soon as a process starts "
              "listening.");

    feed({listener(40, 8080, "TCP", false), listener(41, 6009)}, {{40, "web"}});
    settle();
    EXPECT_FALSE(view.emptyLabel()->isVisible());
    PortsList* list = view.list();
    ASSERT_EQ(list->rows().size(), 2u);
    EXPECT_EQ(list->rows()[1].id, "40.TCP.8080");

    // The port's text copies the bare number and confirms for a while.
    const QRectF rowRect(0, PortRow::rowHeight, list->viewport()->width(), PortRow::rowHeight);
    const QPointF onPort = list->portTextRect(1, rowRect).center();
    list->clicked(1, onPort);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "8080");
    ASSERT_TRUE(list->copyLook("40.TCP.8080"));
    EXPECT_TRUE(list->copyLook("40.TCP.8080")->copied);
    // Copying does not select.
    EXPECT_FALSE(monitor->selection());
    advance(CopyLook::confirmSeconds + 0.1);
    settle();
    EXPECT_FALSE(list->copyLook("40.TCP.8080"));

    // Elsewhere an owned row shows its owner; an unknown one does nothing.
    list->clicked(0, QPointF(400, 15));
    EXPECT_FALSE(monitor->selection());
    list->clicked(1, QPointF(400, 45));
    EXPECT_EQ(monitor->selection(), "web");
    EXPECT_EQ(monitor->focusPid(), 40);
    EXPECT_EQ(list->helpAt(QPointF(list->viewport()->width() - 60, 45)),
              "Bound to all interfaces; devices on the same network can connect");
    EXPECT_EQ(list->menuSpec(0).titles().size(), 3);

    monitor->setFilter("xyz");
    runPending();
    EXPECT_TRUE(view.emptyLabel()->isVisible());
    EXPECT_EQ(view.emptyLabel()->text(), "No ports match “xyz”");
}

TEST_F(PortsTest, OwnerKeepsReadableRoomAndMarksStayInTheirRow)
{
    // Beside the instruments of a 1024-wide window the owner keeps its
    // icon and about sixteen letters; narrower, columns go rather than it.
    for (double w : {624.0, 520.0, 400.0, 1200.0}) {
        const PortsColumns c = PortsColumns::across(w);
        EXPECT_GE(c.width[3], PortsColumns::ownerReadable) << w;
        EXPECT_LE(c.x[5] + c.width[5], w - PortsColumns::padding + 0.001) << w;
    }
    EXPECT_EQ(PortsColumns::across(1200).width[4], PortsColumns::process);
    EXPECT_EQ(PortsColumns::across(400).width[4], 0);
    EXPECT_FALSE(PortsColumns::across(400).visibilityDotOnly());
    // Beside the inspector of a 1024-wide window only the visibility dot
    // is left to give way: it keeps its dot and gives up its words.
    const PortsColumns inspected = PortsColumns::across(292);
    EXPECT_GE(inspected.width[3], PortsColumns::ownerReadable);
    EXPECT_TRUE(inspected.visibilityDotOnly());
    EXPECT_LE(inspected.x[5] + inspected.width[5], 292 - PortsColumns::padding + 0.001);

    // Marks stacked on a name are cut at its row: the rows around it are
    // the same beside a plain name and beside a heavily marked one.
    PortsList list(*monitor);
    showOffscreen(list, {900, 200});
    const auto rowsWith = [&](const QString& process) {
        PortRow above;
        above.listener = listener(1, 22);
        above.id = above.listener.id();
        PortRow named;
        named.listener = listener(2, 80);
        named.id = named.listener.id();
        named.owner = Owner{"k", process, std::nullopt, process};
        list.setRows({above, named});
        settle();
        const QImage shot = list.viewport()->grab().toImage();
        const int h = int(PortRow::rowHeight);
        // The rows above and below the marked one.
        return std::pair{shot.copy(0, 0, 900, h), shot.copy(0, 2 * h, 900, h)};
    };
    const auto plain = rowsWith(QStringLiteral("zed"));
    QString marked = QStringLiteral("z");
    for (char16_t mark = 0x0300; mark < 0x0370; ++mark)
        marked += QChar(mark);
    marked += QStringLiteral("ed");
    EXPECT_EQ(rowsWith(marked), plain);
}

// Beside the inspector the columns narrow; what each cell draws still
// keeps clear of the next cell's text, dot or icon.
TEST_F(PortsTest, NarrowRowsKeepTheirTextsApart)
{
    const auto owned = [](int32_t pid, int64_t port, const QString& name, bool localOnly) {
        PortRow row;
        row.listener = listener(pid, port, QStringLiteral("TCP"), localOnly);
        row.id = row.listener.id();
        row.owner = owner(name, name);
        return row;
    };
    const std::vector<PortRow> shown{owned(4200631, 5000, "rygel", false),
                                     owned(4201267, 5173, "web-bundler", true),
                                     owned(4200245, 5900, "gnome-remote-desktop-daemon", false),
                                     owned(4201144, 6009, "lang-server", true)};
    for (int width : {292, 400, 520, 634, 900}) {
        PortsList list(*monitor);
        showOffscreen(list, {width, 200});
        list.setRows(shown);
        settle();
        DrawnTexts recorder;
        const std::vector<DrawnText> texts = recorder.of(*list.viewport());
        ASSERT_FALSE(texts.empty());
        const int h = int(PortRow::rowHeight);
        for (int r = 0; r < int(shown.size()); ++r) {
            const std::string at = std::to_string(width) + " row " + std::to_string(r);
            std::vector<QRectF> marks;
            for (const DrawnText& t : texts) {
                if (int(t.box.center().y()) / h != r)
                    continue;
                EXPECT_FALSE(t.cut) << at << ": " << t.text.toStdString();
                marks.push_back(t.box);
            }
            for (const QRectF& dot : recorder.ellipses())
                if (int(dot.center().y()) / h == r)
                    marks.push_back(dot);
            std::sort(marks.begin(), marks.end(),
                      [](const QRectF& a, const QRectF& b) { return a.left() < b.left(); });
            for (std::size_t i = 1; i < marks.size(); ++i)
                EXPECT_GE(marks[i].left() - marks[i - 1].right(), 4) << at << " mark " << i;
        }
    }
    // Wide, the cells keep the widths they were drawn at before.
    const PortsColumns wide = PortsColumns::across(1200);
    EXPECT_EQ(wide.room[0], PortsColumns::port);
    EXPECT_EQ(wide.room[1], PortsColumns::proto);
    EXPECT_EQ(wide.room[4], PortsColumns::process - PortsColumns::gap);
}

// A name too long for the cell beside its pid is cut in the middle, by
// whole letters, and the pid stays.
TEST(PortsModel, ProcessCellCutsTheNameInTheMiddleAndKeepsThePid)
{
    PortRow row;
    row.listener = listener(4201144, 6009);
    row.owner = owner(QStringLiteral("Editor"), QStringLiteral("Editor Helper (Plugin)"));
    const auto letters = [](const QString& text) { return double(text.size()); };
    const QString full = PortsModel::processText(row);
    EXPECT_EQ(PortsModel::processText(row, double(full.size()), letters), full);
    EXPECT_EQ(PortsModel::processText(row, double(full.size()) - 1, letters),
              QStringLiteral("Editor Hel…r (Plugin)  4201144"));
    EXPECT_EQ(PortsModel::processText(row, 20, letters), QStringLiteral("Edito…ugin)  4201144"));
    // No room even for the name's ends: the pid still stands.
    EXPECT_EQ(PortsModel::processText(row, 4, letters), QStringLiteral("…  4201144"));
    for (double room = 10; room < double(full.size()); ++room) {
        const QString text = PortsModel::processText(row, room, letters);
        EXPECT_TRUE(text.endsWith(QStringLiteral("  4201144"))) << text.toStdString();
        EXPECT_LE(double(text.size()), room) << text.toStdString();
        EXPECT_EQ(text.count(QStringLiteral("…")), 1) << text.toStdString();
    }
    // A dot or hyphen is not left beside the cut.
    row.listener = listener(42, 6009);
    row.owner = owner(QStringLiteral("Web"), QStringLiteral("web-socket-proxy"));
    EXPECT_EQ(PortsModel::processText(row, 13, letters), QStringLiteral("web…roxy  42"));
    EXPECT_EQ(PortsModel::processText(row, 15, letters), QStringLiteral("web-s…proxy  42"));

    // A letter with its marks is never split, and a right-to-left name is
    // cut and still isolated from the pid.
    row.owner = owner(QStringLiteral("App"), QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"));
    const QString marked = PortsModel::processText(row, 11, letters);
    EXPECT_TRUE(marked.endsWith(QStringLiteral("  42")));
    EXPECT_FALSE(marked.contains(QStringLiteral("…\u0301"))) << marked.toStdString();
    row.owner = owner(QStringLiteral("App"), QStringLiteral("שרת-שפה-ארוך-מאוד"));
    const QString rtl = PortsModel::processText(row, 18, letters);
    EXPECT_TRUE(rtl.startsWith(QChar(0x2068)));
    EXPECT_TRUE(rtl.contains(QStringLiteral("…")));
    EXPECT_TRUE(rtl.endsWith(QStringLiteral("\u2069  42")));

    // Without an owner the pid is all there is.
    row.owner.reset();
    EXPECT_EQ(PortsModel::processText(row, 4, letters), PortsModel::processText(row));
}

// In the process column's narrowest width, as a 1024-wide window leaves
// it, a name that does not fit beside its pid is cut in the middle and the
// pid stays; the tooltip gives the whole text.
TEST_F(PortsTest, ProcessNamesAreCutBesideTheirPid)
{
    PortsList list(*monitor);
    showOffscreen(list, {622, 200});
    ASSERT_EQ(PortsColumns::across(list.viewport()->width()).width[4], 100);
    std::vector<PortRow> rows;
    for (auto [pid, port, process] : {std::tuple{4201144, 6009, "lang-server"},
                                     std::tuple{4201003, 6443, "Editor Helper (Plugin)"},
                                     std::tuple{1, 22, "systemd"}}) {
        PortRow row;
        row.listener = listener(pid, port);
        row.id = row.listener.id();
        row.owner = owner(QStringLiteral("App"), QString::fromUtf8(process));
        rows.push_back(row);
    }
    list.setRows(rows);
    settle();
    DrawnTexts recorder;
    const std::vector<DrawnText> texts = recorder.of(*list.viewport());
    auto drawnWith = [&](const QString& start, const QString& end) {
        return std::any_of(texts.begin(), texts.end(), [&](const DrawnText& t) {
            return t.text.startsWith(start) && t.text.contains(QStringLiteral("…")) && t.text.endsWith(end);
        });
    };
    EXPECT_TRUE(drawnWith(QStringLiteral("la"), QStringLiteral("r  4201144")));
    EXPECT_TRUE(drawnWith(QStringLiteral("Ed"), QStringLiteral(")  4201003")));
    // Room for both: both, whole.
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                            [&](const DrawnText& t) { return t.text == PortsModel::processText(rows[2]); }));
    const int h = int(PortRow::rowHeight);
    const double x = PortsColumns::across(list.viewport()->width()).x[4] + 4;
    EXPECT_EQ(list.helpAt(QPointF(x, h / 2)), PortsModel::processText(rows[0]));
    EXPECT_EQ(list.helpAt(QPointF(x, 2 * h + h / 2)), QString());
}
