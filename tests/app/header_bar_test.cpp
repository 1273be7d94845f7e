#include "app/header_bar.h"
#include "app/status_pill.h"

#include "view_fixture.h"
#include "ui/shrink_label.h"
#include "ui/theme.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>

namespace {

class HeaderBarTest : public ViewTest {
protected:
    std::unique_ptr<Monitor> monitor()
    {
        auto m = make();
        L10n::setChinese(false);
        return m;
    }

    static Snapshot own(double cpu, uint64_t mem)
    {
        Snapshot s;
        s.selfCPU = cpu;
        s.selfMem = mem;
        return s;
    }

    static Incident incident(Severity severity, bool open = true)
    {
        Incident i;
        i.severity = severity;
        if (!open)
            i.end = Date{1};
        return i;
    }
};

} // namespace

TEST_F(HeaderBarTest, OwnCpuShowsOneDecimalBelowAHundred)
{
    EXPECT_EQ(HeaderBar::cpuText(12.3), QStringLiteral("12.3%"));
    EXPECT_EQ(HeaderBar::cpuText(99.5), QStringLiteral("99.5%"));
    // Still below 100, so one decimal, rounded up to the next whole.
    EXPECT_EQ(HeaderBar::cpuText(99.96), QStringLiteral("100.0%"));
    EXPECT_EQ(HeaderBar::cpuText(100), QStringLiteral("100%"));
    EXPECT_EQ(HeaderBar::cpuText(250), QStringLiteral("250%"));
    EXPECT_EQ(HeaderBar::cpuText(0), QStringLiteral("0.0%"));
    EXPECT_EQ(HeaderBar::cpuText(std::nan("")), QStringLiteral("0.0%"));
}

TEST_F(HeaderBarTest, MachineAndOwnUseLinesInBothLanguages)
{
    HostInfo host;
    host.name = QStringLiteral("lab");
    host.chip = QStringLiteral("Ryzen 7");
    EXPECT_EQ(HeaderBar::machineLine(host, 2 * 86400 + 3 * 3600),
              QStringLiteral("lab · Ryzen 7 · up 2d 3h"));
    // A boot time after the sample (a clock step) reads as no time at all.
    EXPECT_EQ(HeaderBar::machineLine(host, -30), QStringLiteral("lab · Ryzen 7 · up 0s"));
    EXPECT_EQ(HeaderBar::selfLine(12.3, 48 * 1024 * 1024), QStringLiteral("self 12.3% · 48.0M"));

    L10n::setChinese(true);
    EXPECT_EQ(HeaderBar::machineLine(host, 2 * 86400 + 3 * 3600),
              QStringLiteral("lab · Ryzen 7 · 开机 2 天 3 时"));
    EXPECT_EQ(HeaderBar::selfLine(250, 0), QStringLiteral("自身 250% · 0B"));
}

TEST_F(HeaderBarTest, StatusPillSaysHowManyIssuesAndHowBad)
{
    const StatusPill::Model clear = StatusPill::build(0, std::nullopt);
    EXPECT_EQ(clear.label, QStringLiteral("All clear"));
    EXPECT_EQ(clear.color, Theme::cpu());
    EXPECT_EQ(clear.help, QStringLiteral("No issues are active right now"));

    const StatusPill::Model warn = StatusPill::build(1, Severity::warn);
    EXPECT_EQ(warn.label, QStringLiteral("1 issue"));
    EXPECT_EQ(warn.color, Theme::warn());
    EXPECT_TRUE(warn.help.startsWith(QStringLiteral("Issues active right now.")));

    const StatusPill::Model both = StatusPill::build(2, Severity::critical);
    EXPECT_EQ(both.label, QStringLiteral("2 issues"));
    EXPECT_EQ(both.color, Theme::crit());
    EXPECT_EQ(both.help, warn.help);

    L10n::setChinese(true);
    EXPECT_EQ(StatusPill::build(2, Severity::critical).label, QStringLiteral("2 项异常"));
    EXPECT_EQ(StatusPill::build(1, Severity::warn).label, QStringLiteral("1 项异常"));
    EXPECT_EQ(StatusPill::build(0, std::nullopt).help, QStringLiteral("当前没有进行中的异常"));
}

TEST_F(HeaderBarTest, PillFollowsIncidentsWhileTheFiguresStandStill)
{
    auto m = monitor();
    HeaderBar header(*m);
    showOffscreen(header, {1200, 40});
    // Before the first snapshot the header already shows zero own use.
    EXPECT_EQ(header.model().self, QStringLiteral("self 0.0% · 0B"));

    ingest(*m, own(12.3, 1024));
    runPending();
    EXPECT_EQ(header.model().self, QStringLiteral("self 12.3% · 1K"));
    const QString machine = header.model().machine;

    m->setFrozen(true);
    ingest(*m, own(50, 2048), {incident(Severity::warn)});
    runPending();
    EXPECT_EQ(header.model().self, QStringLiteral("self 12.3% · 1K"));
    EXPECT_EQ(header.model().machine, machine);
    const StatusPill::Model& pill = header.statusPill()->model();
    EXPECT_EQ(pill.label, QStringLiteral("1 issue"));
    EXPECT_EQ(pill.color, Theme::warn());
    EXPECT_EQ(header.statusPill()->toolTip(), pill.help);

    ingest(*m, own(50, 2048), {incident(Severity::critical), incident(Severity::warn)});
    runPending();
    EXPECT_EQ(header.statusPill()->model().label, QStringLiteral("2 issues"));
    EXPECT_EQ(header.statusPill()->model().color, Theme::crit());

    // Resumed: the next update is taken over; ended incidents clear the pill.
    m->setFrozen(false);
    ingest(*m, own(250, 2048), {incident(Severity::critical, false)});
    runPending();
    EXPECT_EQ(header.model().self, QStringLiteral("self 250% · 2K"));
    EXPECT_EQ(header.statusPill()->model().label, QStringLiteral("All clear"));
    EXPECT_EQ(header.statusPill()->toolTip(), QStringLiteral("No issues are active right now"));
}

TEST_F(HeaderBarTest, FreezeToggleAndViewMenuFlipTheSameFlag)
{
    auto m = monitor();
    HeaderBar header(*m);
    showOffscreen(header, {1200, 40});
    QAbstractButton* toggle = header.freezeToggle();
    EXPECT_EQ(toggle->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(toggle->text(), QStringLiteral("Freeze"));
    const QString help = toggle->toolTip();
    EXPECT_TRUE(help.endsWith(QStringLiteral("(Ctrl+P)")));

    QTest::mouseClick(toggle, Qt::LeftButton);
    runPending();
    EXPECT_TRUE(m->frozen());
    EXPECT_EQ(toggle->text(), QStringLiteral("Frozen"));
    EXPECT_TRUE(header.model().frozen);

    // The menu's Ctrl+P writes the flag directly; the toggle follows.
    m->setFrozen(false);
    runPending();
    EXPECT_EQ(toggle->text(), QStringLiteral("Freeze"));
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTest::mouseClick(toggle, Qt::LeftButton);
    runPending();
    EXPECT_FALSE(m->frozen());
    settle();
    EXPECT_FALSE(FrameClock::shared().running());

    setLanguage(*m, AppLanguage::zh);
    EXPECT_EQ(toggle->text(), QStringLiteral("冻结"));
    EXPECT_EQ(header.settingsButton()->toolTip(), QStringLiteral("设置（Ctrl+,）"));
    EXPECT_TRUE(header.model().self.startsWith(QStringLiteral("自身 ")));
}

TEST_F(HeaderBarTest, SlotsAndButtonsSitInOrder)
{
    auto m = monitor();
    HeaderBar header(*m);
    QSignalSpy settings(&header, &HeaderBar::settingsRequested);
    auto* first = new QWidget;
    first->setFixedSize(40, 22);
    header.setUpdatePill(first);
    QPointer<QWidget> replaced(first);
    auto* update = new QWidget;
    update->setFixedSize(60, 22);
    header.setUpdatePill(update);
    EXPECT_TRUE(replaced.isNull());
    showOffscreen(header, {1200, 40});
    EXPECT_EQ(header.height(), 40);

    // Word-mark clear of the left edge by the blank and the spacing.
    EXPECT_EQ(header.machineLabel()->parentWidget(), &header);
    const int pillRight = header.statusPill()->geometry().right();
    EXPECT_EQ(update->x(), pillRight + 1 + HeaderBar::spacing);
    EXPECT_EQ(header.freezeToggle()->x(), update->geometry().right() + 1 + HeaderBar::spacing);
    EXPECT_EQ(header.settingsButton()->geometry().right(), 1200 - 1 - HeaderBar::trailing);
    EXPECT_EQ(header.statusPill()->height(), 22);

    QTest::mouseClick(header.settingsButton(), Qt::LeftButton);
    EXPECT_EQ(settings.count(), 1);
}

TEST_F(HeaderBarTest, NarrowHeaderCutsTheMachineLineOnOneLine)
{
    auto m = monitor();
    HeaderBar header(*m);
    showOffscreen(header, {1200, 40});
    const ShrinkLabel* machine = header.machineLabel();
    const int natural = machine->sizeHint().width();
    ASSERT_GT(natural, 0);
    EXPECT_EQ(machine->fitted().text, header.model().machine);

    // Everything else at its size, and half the room the line wants.
    header.resize(header.minimumSizeHint().width() + natural / 2, 40);
    QCoreApplication::sendPostedEvents();
    EXPECT_LT(machine->width(), natural);
    EXPECT_TRUE(machine->fitted().text.endsWith(QChar(0x2026)));
    EXPECT_EQ(header.height(), 40);
    // The own-use line keeps its whole width.
    EXPECT_EQ(header.selfLabel()->fitted().text, header.model().self);
}

TEST_F(HeaderBarTest, AMachineThatCannotBeReadIsSaidSoOverItsLastFigures)
{
    auto m = monitor();
    HeaderBar header(*m);
    showOffscreen(header, {1200, 40});
    Snapshot read = own(12.3, 1024);
    read.system.cpu = 0.4;
    read.system.procCount = 321;
    ingest(*m, read);
    runPending();
    const Date readAt = m->sampleDate();
    const std::size_t history = m->history().size();
    const QString time = QDateTime::fromMSecsSinceEpoch(qint64(readAt.unix() * 1000)).toString("HH:mm:ss");

    // What the sampler hands on meanwhile: the last figures, marked.
    Snapshot unread = read;
    unread.unreadable = EMFILE;
    for (int i = 0; i < 3; ++i)
        ingest(*m, unread);
    runPending();
    const StatusPill::Model& pill = header.statusPill()->model();
    EXPECT_EQ(pill.label, "Can't read this computer: too many open files · figures from " + time);
    EXPECT_EQ(pill.color, Theme::warn());
    EXPECT_EQ(m->unreadable(), EMFILE);
    EXPECT_EQ(m->snapshot().system.procCount, 321);
    EXPECT_EQ(m->snapshot().system.cpu, 0.4);
    EXPECT_EQ(m->sampleDate(), readAt);
    EXPECT_EQ(m->history().size(), history);
    EXPECT_EQ(header.model().self, QStringLiteral("self 12.3% · 1K"));

    L10n::setChinese(true);
    unread.unreadable = ENOENT;
    ingest(*m, unread);
    runPending();
    EXPECT_EQ(header.statusPill()->model().label, "无法读取本机：找不到 /proc · 数据停在 " + time);
    L10n::setChinese(false);

    // Read again: the pill goes back to the incidents.
    ingest(*m, own(1, 2048));
    runPending();
    EXPECT_EQ(header.statusPill()->model().label, QStringLiteral("All clear"));
    EXPECT_EQ(m->unreadable(), 0);
    EXPECT_EQ(m->history().size(), history + 1);
}
