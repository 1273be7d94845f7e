// Every view of the main window and every settings pane, on the demo
// machine, in English and Chinese, on the screen this run was given: what
// they draw as text must neither run into other text nor be cut short
// without an ellipsis. Layout rules are tested on their own elsewhere; this
// looks at what is actually drawn, with the faces and sizes of the day.

#include "text_recorder.h"

#include "../shell_fixture.h"

#include "app/main_window.h"
#include "app/menu_panel.h"
#include "app/root_view.h"
#include "engine/demo_source.h"
#include "engine/detector.h"
#include "field/field_layer_view.h"
#include "network/domain_rows.h"
#include "network/ports_view.h"
#include "process/inspector_view.h"
#include "ui/copy_text.h"
#include "ui/row_list.h"
#include "settings/settings_view.h"
#include "update/software_update_card.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>

using Mode = Monitor::Mode;

namespace {

// The screen as the user's display names it: device pixels, and the scale
// when there is one.
QString screenName()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen->devicePixelRatio();
    const QSize pixels = (QSizeF(screen->size()) * ratio).toSize();
    QString name = QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height());
    if (ratio != 1)
        name += QStringLiteral(" at scale %1").arg(ratio);
    return name;
}

QString viewName(Mode mode)
{
    switch (mode) {
    case Mode::table: return QStringLiteral("List");
    case Mode::field: return QStringLiteral("Field");
    case Mode::flow: return QStringLiteral("Flows");
    case Mode::domains: return QStringLiteral("Domains");
    case Mode::ports: return QStringLiteral("Ports");
    }
    return {};
}


// The demo machine fed to a Monitor as the sampler feeds it: its two
// minutes of history at once, then live seconds with the incident rules
// running. The clock starts at a fixed second of a minute, so every run sees
// the same machine.
class DemoFeed {
public:
    explicit DemoFeed(const QString& storePath)
        : unix_(std::make_shared<double>(std::floor(Date::now().unix() / 60) * 60 - 180 + 35))
        , source_([unix = unix_] {
            const Date date = Date::fromUnix(*unix);
            *unix += 1;
            return date;
        })
        , detector_(storePath, true, [unix = unix_] { return Date::fromUnix(*unix); })
    {
    }

    void history(const std::function<void(Sampler::Update)>& ingest)
    {
        for (Snapshot& s : source_.prefill()) {
            Sampler::fillTotals(s.system, s.groups);
            ingest({std::move(s), {}, {}});
        }
    }

    void live(int seconds, const std::function<void(Sampler::Update)>& ingest)
    {
        for (int i = 0; i < seconds; ++i) {
            DemoSource::Frame frame = source_.advance(true);
            Sampler::fillTotals(frame.snapshot.system, frame.snapshot.groups);
            if (frame.procTick)
                detector_.evaluate(frame.snapshot, frame.clock);
            ingest({std::move(frame.snapshot), detector_.incidents, {}});
        }
    }

private:
    std::shared_ptr<double> unix_;
    DemoSource source_;
    Detector detector_;
};

class DrawnTextTest : public ShellTest {
protected:
    std::function<void(Sampler::Update)> intake(Monitor& monitor)
    {
        return [&monitor](Sampler::Update update) { ingest(monitor, update); };
    }

    // The main window in one language, each of `modes` with the inspector
    // closed and open on the busiest group.
    void checkViews(Monitor& monitor, bool chinese, const std::vector<Mode>& modes, const QString& state = {})
    {
        setLanguage(monitor, chinese);
        runPending();
        const QString busiest = monitor.rows().front().key;
        MainWindow window(monitor, updater());
        window.show();
        settleAll();
        for (Mode mode : modes) {
            monitor.switchMode(mode);
            // The bubbles pass each other as they come in from the list's
            // rows, and their labels must give way on every frame.
            if (mode == Mode::field)
                for (int frame = 1; frame <= 12; ++frame) {
                    advance(0.2);
                    runPending();
                    check(window, QStringLiteral("Field arriving, %1 s in, inspector %2, %3, %4%5")
                                      .arg(0.2 * frame, 0, 'f', 1)
                                      .arg(monitor.selection() ? QStringLiteral("open") : QStringLiteral("closed"),
                                           screenName(), chinese ? QStringLiteral("Chinese") : QStringLiteral("English"),
                                           state));
                }
            for (bool inspector : {false, true}) {
                monitor.setSelection(inspector ? std::optional(busiest) : std::nullopt);
                settleAll();
                check(window, QStringLiteral("%1, inspector %2, %3, %4%5")
                                  .arg(viewName(mode), inspector ? QStringLiteral("open") : QStringLiteral("closed"),
                                       screenName(), chinese ? QStringLiteral("Chinese") : QStringLiteral("English"),
                                       state));
            }
        }
        monitor.setSelection(std::nullopt);
    }

    void settleAll()
    {
        settle();
        QCoreApplication::sendPostedEvents();
        runPending();
    }

    // Renders `window` and fails on each text that runs into another or is
    // cut, naming `where` it was seen.
    void check(QWidget& window, const QString& where)
    {
        TextRecorder recorder(window.size(), window.devicePixelRatioF());
        recorder.render(window);
        const std::vector<DrawnText>& texts = recorder.texts();

        // A render that drew next to nothing checked nothing.
        EXPECT_GT(texts.size(), 10u) << where.toStdString();
        // The field draws its labels where it places them, seen like any
        // other text.
        if (auto* field = window.findChild<FieldLayerView*>(); field && field->isVisible() && field->covering()) {
            const auto labels = std::count_if(texts.begin(), texts.end(),
                                              [&](const DrawnText& t) { return t.widget == field; });
            // An inspector lying over a small window's field leaves room
            // for fewer labels, but some still show.
            EXPECT_GE(labels, covers(window).isEmpty() ? 4 : 1) << where.toStdString();
        }
        const double pixel = window.devicePixelRatioF();
        std::vector<TextFinding> found = overlaps(texts, pixel);
        for (TextFinding& f : cuts(texts, pixel, covers(window)))
            found.push_back(std::move(f));
        for (const DrawnText& t : recorder.shortLabels())
            found.push_back({TextFinding::Kind::cut, t, {}});
        for (const TextFinding& f : found) {
            const QString line = where + QStringLiteral(": ") + f.describe();
            ADD_FAILURE() << line.toStdString();
        }
    }

    // The inspector where it lies over the centre, in device pixels: the
    // centre's texts pass under it.
    static QRegion covers(QWidget& window)
    {
        auto* main = qobject_cast<MainWindow*>(&window);
        RootView* root = main ? main->root() : nullptr;
        if (!root || !root->inspector() || !root->bodyLayout().overlaid)
            return {};
        const QWidget* inspector = root->inspector();
        const QRectF box(QPointF(inspector->mapTo(&window, QPoint(0, 0))), QSizeF(inspector->size()));
        const double ratio = window.devicePixelRatioF();
        return QRegion(QRectF(box.topLeft() * ratio, box.size() * ratio).toAlignedRect());
    }

    static void setLanguage(Monitor& monitor, bool chinese)
    {
        Preferences prefs = monitor.prefs();
        prefs.language = chinese ? AppLanguage::zh : AppLanguage::en;
        monitor.setPrefs(prefs);
    }
};

} // namespace

TEST_F(DrawnTextTest, EveryViewKeepsItsTextsApartAndWhole)
{
    // Incidents are worded in the language of the moment they open: each
    // language watches the machine from the start.
    for (bool chinese : {false, true}) {
        auto monitor = make(true);
        setLanguage(*monitor, chinese);
        DemoFeed demo(dir.filePath(chinese ? QStringLiteral("zh.json") : QStringLiteral("en.json")));
        demo.history(intake(*monitor));
        runPending();
        ASSERT_TRUE(monitor->ready());
        // Before the first incident the drawer explains itself.
        ASSERT_TRUE(monitor->incidents().empty());
        checkViews(*monitor, chinese, {Mode::table, Mode::field}, QStringLiteral(", no incidents yet"));

        demo.live(90, intake(*monitor));
        runPending();
        ASSERT_FALSE(monitor->incidents().empty());
        checkViews(*monitor, chinese, {Monitor::allModes.begin(), Monitor::allModes.end()});
    }
}

TEST_F(DrawnTextTest, EverySettingsPaneKeepsItsTextsApartAndWhole)
{
    auto monitor = make(true);
    DemoFeed(dir.filePath(QStringLiteral("demo-incidents.json"))).history(intake(*monitor));
    runPending();
    for (bool chinese : {false, true}) {
        setLanguage(*monitor, chinese);
        runPending();
        SettingsView settings(*monitor, [&](QWidget* owner) {
            return new SoftwareUpdateCard(*monitor, updater(), [] {}, owner);
        });
        settings.show();
        settleAll();
        for (SettingsView::Pane pane : SettingsView::allPanes) {
            settings.setPane(pane);
            settleAll();
            check(settings, QStringLiteral("Settings %1, %2, %3")
                                .arg(SettingsView::paneText(pane), screenName(),
                                     chinese ? QStringLiteral("Chinese") : QStringLiteral("English")));
        }
    }
}

namespace {

constexpr int32_t hostilePid = 999'001;

// A process and the host it talks to, both named behind a right-to-left
// override, as a hosts file or a zone someone else runs may name them, with
// a connection to its port 46100 with traffic both ways, and a port of its
// own open.
void addHostile(Snapshot& s)
{
    const QString name = QStringLiteral("\u202Elapyap-agent");
    GroupSample g(QStringLiteral("exe:/opt/lapyap-agent"), name, std::nullopt);
    ProcSample p;
    p.pid = hostilePid;
    p.name = name;
    p.groupKey = g.key;
    p.groupName = name;
    p.cpu = 3;
    p.mem = 40'000'000;
    g.add(p);
    s.groups.push_back(g);
    Connection c;
    c.id = QStringLiteral("999001 tcp4 10.0.1.24:50000<->203.0.113.7:46100");
    c.pid = hostilePid;
    c.remoteHost = QStringLiteral("203.0.113.7");
    c.remotePort = 46100;
    c.bytesIn = 9'000'000;
    c.bytesOut = 300'000;
    c.rateIn = 250'000;
    c.rateOut = 1'200;
    c.host = QStringLiteral("\u202Elapyap.example");
    s.connections.push_back(c);
    // A low port, so the Ports list shows its row first.
    s.listeners.push_back(Listener{hostilePid, QStringLiteral("tcp"), 7, false});
}

// Whether `part` of `text` reads as written when `text` is laid out on one
// left-to-right line, as the views draw it: each of its letters right of the
// one before, and the first right of everything that comes before it.
bool readsInOrder(const QString& text, const QString& part)
{
    const qsizetype at = text.indexOf(part);
    if (at < 0)
        return true;
    QTextLayout layout(text, QFont());
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const double start = line.cursorToX(int(at));
    for (qsizetype i = 0; i < at; ++i)
        if (line.cursorToX(int(i)) > start)
            return false;
    for (qsizetype i = at; i + 1 < at + part.size(); ++i)
        if (line.cursorToX(int(i)) >= line.cursorToX(int(i + 1)))
            return false;
    return true;
}

// A direction control other than an isolate the views set around a name.
bool holdsControl(const QString& text)
{
    int open = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0x2068)
            ++open;
        else if (u == 0x2069 && open > 0)
            --open;
        else if ((u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F
                 || u == 0x061C)
            return true;
    }
    return open != 0;
}

} // namespace

// The reversed names in Flows, Domains, Ports and the inspector, and in
// their tooltips, in both languages: no control reaches the screen, the
// names read as written, the port beside the host reads 46100 and the rates
// stand to its right.
TEST_F(DrawnTextTest, AReversedHostNameKeepsThePortAndTheRatesInOrder)
{
    for (bool chinese : {false, true}) {
        const QString language = chinese ? QStringLiteral("Chinese") : QStringLiteral("English");
        auto monitor = make(true);
        setLanguage(*monitor, chinese);
        DemoFeed demo(dir.filePath(chinese ? QStringLiteral("zh-hostile.json") : QStringLiteral("en-hostile.json")));
        demo.history(intake(*monitor));
        demo.live(6, [&](Sampler::Update update) {
            addHostile(update.snapshot);
            ingest(*monitor, update);
        });
        runPending();
        ASSERT_TRUE(monitor->ready());
        const QString key = QStringLiteral("exe:/opt/lapyap-agent");
        MainWindow window(*monitor, updater());
        window.show();
        settleAll();
        for (Mode mode : {Mode::flow, Mode::domains, Mode::ports}) {
            monitor->switchMode(mode);
            for (bool inspector : {false, true}) {
                monitor->setSelection(inspector ? std::optional(key) : std::nullopt);
                settleAll();
                // The connections lie below the figures on a short screen.
                if (auto* column = window.findChild<InspectorView*>(); inspector && column)
                    for (auto* scroll : column->findChildren<QScrollArea*>())
                        for (auto* copy : scroll->findChildren<CopyText*>())
                            if (copy->display().contains(QStringLiteral("lapyap")))
                                scroll->ensureWidgetVisible(copy);
                settleAll();
                const QString where = QStringLiteral("%1, inspector %2, %3, %4")
                                          .arg(viewName(mode), inspector ? QStringLiteral("open") : QStringLiteral("closed"),
                                               screenName(), language);
                check(window, where);
                TextRecorder recorder(window.size(), window.devicePixelRatioF());
                recorder.render(window);

                // What the pointer would read: every widget's tooltip and
                // the lists' own, across each row.
                QStringList tips;
                for (QWidget* w : window.findChildren<QWidget*>())
                    if (w->isVisible() && !w->toolTip().isEmpty())
                        tips << w->toolTip();
                for (DomainRows* rows : window.findChildren<DomainRows*>())
                    if (rows->isVisible())
                        for (int y = 2; y < rows->viewport()->height(); y += 6)
                            for (int x = 0; x < rows->viewport()->width(); x += 4)
                                if (auto tip = rows->helpAt(QPointF(x, y)))
                                    tips << *tip;
                for (PortsList* list : window.findChildren<PortsList*>())
                    if (list->isVisible())
                        for (int y = 2; y < list->viewport()->height(); y += 6)
                            for (int x = 0; x < list->viewport()->width(); x += 4)
                                if (const QString tip = list->helpAt(QPointF(x, y)); !tip.isEmpty())
                                    tips << tip;

                int sightings = 0;
                const DrawnText* connection = nullptr;
                for (const DrawnText& t : recorder.texts()) {
                    const std::string seen = (where + QStringLiteral(": ") + t.text).toStdString();
                    EXPECT_FALSE(holdsControl(t.text)) << seen;
                    for (const QString& part : {QStringLiteral("lapyap"), QStringLiteral("46100")})
                        EXPECT_TRUE(readsInOrder(t.text, part)) << seen;
                    sightings += t.text.contains(QStringLiteral("lapyap")) ? 1 : 0;
                    if (t.text.contains(QStringLiteral("lapyap.example")) && t.text.endsWith(QStringLiteral(":46100")))
                        connection = &t;
                }
                for (const QString& tip : tips) {
                    const std::string seen = (where + QStringLiteral(", tooltip: ") + tip).toStdString();
                    EXPECT_FALSE(holdsControl(tip)) << seen;
                    for (const QString& part : {QStringLiteral("lapyap"), QStringLiteral("46100")})
                        EXPECT_TRUE(readsInOrder(tip, part)) << seen;
                }
                EXPECT_GE(sightings, 1) << where.toStdString();
                if (!inspector)
                    continue;
                // The inspector's connection row: the host and its port, then
                // the rates beside them on the same line.
                ASSERT_NE(connection, nullptr) << where.toStdString();
                const auto rates = std::find_if(recorder.texts().begin(), recorder.texts().end(), [&](const DrawnText& t) {
                    return t.text.startsWith(QStringLiteral("↓")) && t.box.top() < connection->box.bottom()
                        && t.box.bottom() > connection->box.top() && t.widget && connection->widget
                        && t.widget != connection->widget
                        && t.widget->parentWidget() == connection->widget->parentWidget();
                });
                ASSERT_NE(rates, recorder.texts().end()) << where.toStdString();
                EXPECT_GE(rates->box.left(), connection->box.right()) << where.toStdString();
            }
        }
        monitor->setSelection(std::nullopt);
    }
}

namespace {

// The same text twice, a pixel apart: a shadow under it.
class Shadowed : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(Qt::black);
        p.drawText(QPointF(11, 16), QStringLiteral("shadowed"));
        p.setPen(Qt::white);
        p.drawText(QPointF(10, 15), QStringLiteral("shadowed"));
    }
};

} // namespace

// The recorder itself: it sees what runs together, what is cut and what
// lost its lines, and lets be an elided text, a shadow, one sentence in two
// faces or formats, and what is hidden or covered.
TEST_F(DrawnTextTest, RecorderSeesCollisionsAndCutsOnly)
{
    QWidget window;
    window.resize(480, 260);
    const auto label = [&](const QString& text, QRect geometry, QWidget* parent = nullptr) {
        auto* l = new QLabel(text, parent ? parent : &window);
        l->setGeometry(geometry);
        return l;
    };
    label(QStringLiteral("first words"), {10, 10, 200, 20});
    label(QStringLiteral("second words"), {60, 12, 200, 20});              // runs into the first
    label(QStringLiteral("much too long for its label"), {10, 40, 60, 20}); // cut
    label(QStringLiteral("elided…"), {10, 70, 60, 20});
    label(QStringLiteral("C…"), {90, 70, 60, 20}); // elided to a letter
    label(QStringLiteral("not shown"), {10, 10, 200, 20})->hide();
    label(QStringLiteral("Port"), {40, 100, 60, 20})->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label(QStringLiteral("Owner"), {100, 100, 60, 20}); // meets "Port" with no gap
    QLabel* sentence = label(QStringLiteral("Alerts above <b>8 GB</b>; 2.5× that is critical"), {10, 130, 300, 20});
    sentence->setTextFormat(Qt::RichText);
    label(QStringLiteral("整机占用 CPU 超过 85%"), {10, 160, 300, 20});
    QLabel* wrapped = label(QStringLiteral("a sentence long enough to need three lines here"), {10, 190, 110, 20});
    wrapped->setWordWrap(true); // too short for them
    (new Shadowed(&window))->setGeometry(320, 40, 100, 20);
    // An opaque panel over a label, with a label of its own in the same place.
    label(QStringLiteral("under the panel"), {320, 100, 150, 20});
    auto* panel = new QWidget(&window);
    panel->setAutoFillBackground(true);
    panel->setGeometry(310, 90, 170, 40);
    label(QStringLiteral("on the panel"), {10, 10, 150, 20}, panel);
    window.show();
    QCoreApplication::sendPostedEvents();

    TextRecorder recorder(window.size(), window.devicePixelRatioF());
    recorder.render(window);
    const double pixel = window.devicePixelRatioF();
    const std::vector<TextFinding> collisions = overlaps(recorder.texts(), pixel);
    ASSERT_EQ(collisions.size(), 2u);
    EXPECT_EQ(collisions[0].first.text, QStringLiteral("first words"));
    EXPECT_EQ(collisions[0].second.text, QStringLiteral("second words"));
    EXPECT_TRUE(collisions[0].describe().contains(QStringLiteral("in QLabel")));
    EXPECT_EQ(collisions[1].first.text, QStringLiteral("Port"));
    EXPECT_EQ(collisions[1].second.text, QStringLiteral("Owner"));
    const std::vector<TextFinding> cut = cuts(recorder.texts(), pixel);
    // The wrapped label's lines that were drawn leave it at the top and
    // bottom; the one it left out is known by its height.
    ASSERT_GE(cut.size(), 3u);
    EXPECT_EQ(cut[0].first.text, QStringLiteral("much too long for its label"));
    EXPECT_EQ(cut[1].first.text, QStringLiteral("C…"));
    for (std::size_t i = 2; i < cut.size(); ++i)
        EXPECT_EQ(cut[i].first.widget, wrapped) << cut[i].describe().toStdString();
    ASSERT_EQ(recorder.shortLabels().size(), 1u);
    EXPECT_EQ(recorder.shortLabels()[0].widget, wrapped);
    // The sentences were seen whole, each as one text.
    const auto seen = [&](const QString& text) {
        return std::count_if(recorder.texts().begin(), recorder.texts().end(),
                             [&](const DrawnText& t) { return t.text == text; });
    };
    EXPECT_EQ(seen(QStringLiteral("Alerts above 8 GB; 2.5× that is critical")), 1);
    EXPECT_EQ(seen(QStringLiteral("整机占用 CPU 超过 85%")), 1);
    EXPECT_EQ(seen(QStringLiteral("under the panel")), 0);
}

// A text that passes under a panel lying over it by design shows up to the
// panel's edge: cut unless that panel is named as a cover, and cut still
// where something else hides more of it.
TEST_F(DrawnTextTest, RecorderLetsTextsPassUnderACover)
{
    QWidget window;
    window.resize(400, 100);
    auto* under = new QLabel(QStringLiteral("a line that runs under the panel"), &window);
    under->setGeometry(10, 10, 380, 20);
    auto* clipped = new QWidget(&window);
    clipped->setGeometry(10, 50, 60, 20);
    auto* inner = new QLabel(QStringLiteral("cut by its parent long before"), clipped);
    inner->setGeometry(0, 0, 380, 20);
    auto* panel = new QWidget(&window);
    panel->setAutoFillBackground(true);
    panel->setGeometry(120, 0, 280, 100);
    window.show();
    QCoreApplication::sendPostedEvents();

    TextRecorder recorder(window.size(), window.devicePixelRatioF());
    recorder.render(window);
    const double pixel = window.devicePixelRatioF();
    EXPECT_EQ(cuts(recorder.texts(), pixel).size(), 2u);
    const QRect cover = panel->geometry();
    const std::vector<TextFinding> cut = cuts(recorder.texts(), pixel,
                   QRegion(QRectF(QPointF(cover.topLeft()) * pixel, QSizeF(cover.size()) * pixel).toAlignedRect()));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].first.text, QStringLiteral("cut by its parent long before"));
}

namespace {

// Another user's processes named to break their line, to show nothing, or
// to pile marks over the rows around them, each with a connection to a
// host whose name holds a line separator, a port of its own and an open
// incident worded with its name.
struct OddProcess {
    int32_t pid;
    QString key;
    QString name;
};

std::vector<OddProcess> oddProcesses()
{
    const QString lines = QString(3, QChar(0x2028));
    return {
        {999'101, QStringLiteral("exe:zzz"), QStringLiteral("zzzzzzzzzzzzzzz") + lines + QStringLiteral("firefox        99.9%   9.9G")},
        {999'102, QStringLiteral("exe:fillers"), QStringLiteral("\u3164\u3164")},
        {999'103, QStringLiteral("exe:stacked"), QStringLiteral("Zalgo") + QString(50, QChar(0x0301)) + QString(50, QChar(0x0316))
             + QStringLiteral("agent")},
        {999'104, QStringLiteral("exe:hidden"),
         QStringLiteral("p\u200Ba\u2060y\uFEFFp\u180Ea\u115Fl\u200D-\u2029sync\u0085d")},
    };
}

void addOdd(Snapshot& s, std::vector<Incident>& incidents, const Date& now)
{
    int n = 0;
    for (const OddProcess& odd : oddProcesses()) {
        GroupSample g(odd.key, odd.name, std::nullopt);
        ProcSample p;
        p.pid = odd.pid;
        p.name = odd.name;
        p.groupKey = g.key;
        p.groupName = odd.name;
        p.restricted = true;
        // Busy enough to head the list on the smallest screen.
        p.cpu = 400 - 10 * n;
        p.mem = 900'000'000;
        // A path long enough to need more than the Origin box's five lines.
        p.path = QStringLiteral("/opt/") + QStringLiteral("a-rather-long-folder-name/").repeated(12) + odd.name;
        g.add(p);
        s.groups.insert(s.groups.begin(), g);
        Connection c;
        c.id = QStringLiteral("%1 tcp4 10.0.1.24:5000%2<->203.0.113.%2:4610%2").arg(odd.pid).arg(n);
        c.pid = odd.pid;
        c.remoteHost = QStringLiteral("203.0.113.%1").arg(n);
        c.remotePort = 46100 + n;
        c.bytesIn = 9'000'000;
        c.bytesOut = 300'000;
        c.rateIn = 250'000;
        c.rateOut = 1'200;
        c.host = QStringLiteral("edge%1\u2028\u2028mirror.example").arg(n);
        s.connections.push_back(c);
        s.listeners.push_back(Listener{odd.pid, QStringLiteral("tcp"), 2 + n, false});
        Incident i;
        i.kind = Incident::Kind::processCPU;
        i.severity = Severity::critical;
        i.subject = odd.name;
        i.groupKey = odd.key;
        i.pid = odd.pid;
        i.peak = p.cpu;
        i.peakText = QStringLiteral("%1%").arg(p.cpu);
        i.start = now;
        incidents.insert(incidents.begin(), i);
        ++n;
    }
}

// What a name must never carry to the screen: a line break, a character
// that draws nothing, or more than four marks on one letter.
QString breakIn(const QString& text, bool tooltip)
{
    int marks = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((!tooltip && u == u'\n') || u == 0x2028 || u == 0x2029 || u == 0x85)
            return QStringLiteral("a line break");
        if (u == 0x200B || u == 0x200D || (u >= 0x2060 && u <= 0x2064) || u == 0xFEFF || u == 0x180E
            || u == 0x115F || u == 0x1160 || u == 0x3164 || u == 0xFFA0)
            return QStringLiteral("an invisible character U+%1").arg(int(u), 4, 16, QLatin1Char('0'));
        const QChar::Category k = c.category();
        marks = (k == QChar::Mark_NonSpacing || k == QChar::Mark_Enclosing) ? marks + 1 : 0;
        if (marks > 4)
            return QStringLiteral("a pile of marks");
    }
    return {};
}

} // namespace

// The odd names in the list, the inspector, the drawer, the tray panel,
// Flows, Domains and Ports, and in their tooltips, in both languages: each
// stays on its line and in its row, none is blank, and none is cut short
// without an ellipsis.
TEST_F(DrawnTextTest, NamesThatBreakHideOrPileUpStayInTheirRows)
{
    for (bool chinese : {false, true}) {
        const QString language = chinese ? QStringLiteral("Chinese") : QStringLiteral("English");
        auto monitor = make(true);
        setLanguage(*monitor, chinese);
        DemoFeed demo(dir.filePath(chinese ? QStringLiteral("zh-odd.json") : QStringLiteral("en-odd.json")));
        demo.history(intake(*monitor));
        demo.live(6, [&](Sampler::Update update) {
            addOdd(update.snapshot, update.incidents, update.snapshot.system.date);
            ingest(*monitor, update);
        });
        runPending();
        ASSERT_TRUE(monitor->ready());
        monitor->setDrawerOpen(true);
        MainWindow window(*monitor, updater());
        window.show();
        MenuPanel panel(*monitor, [] {});
        panel.show();
        settleAll();

        const auto look = [&](QWidget& shown, const QString& where) {
            settleAll();
            check(shown, where);
            TextRecorder recorder(shown.size(), shown.devicePixelRatioF());
            recorder.render(shown);
            const double pixel = shown.devicePixelRatioF();
            bool fillerNamed = false;
            for (const DrawnText& t : recorder.texts()) {
                const std::string seen = (where + QStringLiteral(": \"") + t.text + QStringLiteral("\" in ")
                                          + t.widgetName).toStdString();
                const QString fault = breakIn(t.text, false);
                EXPECT_TRUE(fault.isEmpty()) << seen << " holds " << fault.toStdString();
                // Whatever follows the separators is shown, or the cut says so.
                if (t.text.contains(QStringLiteral("zzzz"))) {
                    EXPECT_TRUE(t.text.contains(QStringLiteral("firefox")) || t.text.contains(QChar(0x2026))) << seen;
                }
                fillerNamed = fillerNamed || t.text.contains(QStringLiteral("pid 999102"));
            }
            // The invisible name is shown by its stand-in where the list,
            // the drawer or a view names it.
            EXPECT_TRUE(fillerNamed) << where.toStdString();
            // No row of a list draws into another: each glyph lies within
            // the row it belongs to.
            for (RowList* list : shown.findChildren<RowList*>()) {
                if (!list->isVisible())
                    continue;
                const QPointF origin = QPointF(list->viewport()->mapTo(&shown, QPoint(0, 0))) * pixel;
                for (const DrawnText& t : recorder.texts()) {
                    if (t.widget != list->viewport() || t.shown.isEmpty())
                        continue;
                    const double middle = (t.box.center().y() - origin.y()) / pixel;
                    const int row = list->rowAt(middle);
                    if (row < 0)
                        continue;
                    const RowSlot& slot = list->shownRows()[std::size_t(row)];
                    const double top = *list->drawnTop(slot.id) - list->scrollOffset();
                    const double boxTop = (t.box.top() - origin.y()) / pixel;
                    const double boxBottom = (t.box.bottom() - origin.y()) / pixel;
                    EXPECT_TRUE(boxTop >= top - 1.5 && boxBottom <= top + slot.height() + 1.5)
                        << (where + QStringLiteral(": \"") + t.text + QStringLiteral("\" leaves its row in ")
                            + t.widgetName)
                               .toStdString()
                        << " [" << boxTop << ", " << boxBottom << "] outside [" << top << ", "
                        << top + slot.height() << "]";
                }
            }
            // The Origin box shows five lines of the long path and says
            // more follows.
            for (QPlainTextEdit* origin : shown.findChildren<QPlainTextEdit*>()) {
                if (!origin->isVisible())
                    continue;
                std::vector<const DrawnText*> lines;
                for (const DrawnText& t : recorder.texts())
                    if (t.widget == origin->viewport())
                        lines.push_back(&t);
                ASSERT_FALSE(lines.empty()) << where.toStdString();
                EXPECT_TRUE(lines.back()->text.endsWith(QChar(0x2026))) << where.toStdString() << ": "
                                                                         << lines.back()->text.toStdString();
                // The box itself cuts no line; the inspector's page may
                // scroll it out of sight.
                for (const DrawnText* line : lines)
                    EXPECT_TRUE(line->box.bottom() <= line->own.bottom() + 1.5 * pixel)
                        << where.toStdString() << ": a line cut at the bottom: " << line->text.toStdString();
            }
            // What the pointer would read.
            QStringList tips;
            for (QWidget* w : shown.findChildren<QWidget*>())
                if (w->isVisible() && !w->toolTip().isEmpty())
                    tips << w->toolTip();
            for (DomainRows* rows : shown.findChildren<DomainRows*>())
                if (rows->isVisible())
                    for (int y = 2; y < rows->viewport()->height(); y += 6)
                        for (int x = 0; x < rows->viewport()->width(); x += 4)
                            if (auto tip = rows->helpAt(QPointF(x, y)))
                                tips << *tip;
            for (PortsList* list : shown.findChildren<PortsList*>())
                if (list->isVisible())
                    for (int y = 2; y < list->viewport()->height(); y += 6)
                        for (int x = 0; x < list->viewport()->width(); x += 4)
                            if (const QString tip = list->helpAt(QPointF(x, y)); !tip.isEmpty())
                                tips << tip;
            for (const QString& tip : tips) {
                const QString fault = breakIn(tip, true);
                EXPECT_TRUE(fault.isEmpty()) << (where + QStringLiteral(", tooltip: ") + tip).toStdString() << " holds "
                                             << fault.toStdString();
            }
        };

        look(panel, QStringLiteral("Tray panel, %1, %2").arg(screenName(), language));
        for (Mode mode : {Mode::table, Mode::flow, Mode::domains, Mode::ports}) {
            monitor->switchMode(mode);
            monitor->setSelection(std::nullopt);
            look(window, QStringLiteral("%1, inspector closed, %2, %3").arg(viewName(mode), screenName(), language));
        }
        // The inspector of each, over the list.
        monitor->switchMode(Mode::table);
        for (const OddProcess& odd : oddProcesses()) {
            monitor->setSelection(odd.key);
            monitor->setFocusPid(odd.pid);
            settleAll();
            // Its connection and Origin box lie below the figures on a short
            // screen.
            if (auto* column = window.findChild<InspectorView*>())
                for (auto* scroll : column->findChildren<QScrollArea*>())
                    if (auto* origin = column->findChild<QPlainTextEdit*>())
                        scroll->ensureWidgetVisible(origin);
            look(window, QStringLiteral("List, inspector on %1, %2, %3").arg(odd.key, screenName(), language));
        }
        monitor->setSelection(std::nullopt);
    }
}
