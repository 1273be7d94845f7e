#include "app/mode_switch.h"

#include "view_fixture.h"

#include <QTest>

namespace {

using Mode = Monitor::Mode;

class ModeSwitchTest : public ViewTest {
protected:
    std::unique_ptr<Monitor> monitor()
    {
        auto m = make();
        L10n::setChinese(false);
        return m;
    }

    static QRectF itemRect(const ModeSwitch& s, Mode mode) { return s.itemFor(mode)->geometry(); }
};

} // namespace

TEST_F(ModeSwitchTest, OffersTheFiveModesInBothLanguages)
{
    ModeSwitch::Model en = ModeSwitch::build(Mode::flow);
    ASSERT_EQ(en.items.size(), 5u);
    EXPECT_EQ(en.padding, 7);
    QStringList titles;
    for (const ModeSwitch::Item& item : en.items)
        titles << item.title;
    EXPECT_EQ(titles, (QStringList{"List", "Field", "Flows", "Domains", "Ports"}));
    EXPECT_EQ(en.items[2].mode, Mode::flow);
    EXPECT_TRUE(en.items[2].selected);
    EXPECT_EQ(std::count_if(en.items.begin(), en.items.end(), [](auto& i) { return i.selected; }), 1);
    EXPECT_EQ(en.items[0].help, QStringLiteral("Usage by process group (Ctrl+1)"));
    EXPECT_EQ(en.items[3].help,
              QStringLiteral("Domains this computer has contacted, with recent activity (Ctrl+4)"));

    L10n::setChinese(true);
    ModeSwitch::Model zh = ModeSwitch::build(Mode::flow);
    EXPECT_EQ(zh.padding, 10);
    EXPECT_EQ(zh.items[1].title, QStringLiteral("力场"));
    EXPECT_EQ(zh.items[4].help, QStringLiteral("正在监听的端口及其占用者（Ctrl+5）"));
    EXPECT_TRUE(zh.items[2].selected);
}

TEST_F(ModeSwitchTest, PillRetargetsOnClickOnMenuAndOnRestore)
{
    defaults().set(QStringLiteral("mode"), QStringLiteral("domains"));
    auto m = monitor();
    ModeSwitch early(*m);
    showOffscreen(early);
    EXPECT_EQ(early.pillRect(), itemRect(early, Mode::table));

    // Restore: start() brings back the last mode, and the pill follows.
    m->start();
    runPending();
    EXPECT_EQ(m->mode(), Mode::domains);
    EXPECT_EQ(early.pillTarget(), itemRect(early, Mode::domains));
    settle();
    EXPECT_EQ(early.pillRect(), itemRect(early, Mode::domains));

    // A switch built after the restore shows the pill in place, unmoving.
    ModeSwitch late(*m);
    showOffscreen(late);
    EXPECT_FALSE(late.moving());
    EXPECT_EQ(late.pillRect(), itemRect(late, Mode::domains));

    // Click.
    QTest::mouseClick(late.itemFor(Mode::flow), Qt::LeftButton);
    runPending();
    EXPECT_EQ(m->mode(), Mode::flow);
    EXPECT_TRUE(late.moving());
    EXPECT_EQ(late.pillTarget(), itemRect(late, Mode::flow));
    advance(0.05);
    const QRectF midway = late.pillRect();
    EXPECT_LT(midway.x(), itemRect(late, Mode::domains).x());
    EXPECT_GT(midway.x(), itemRect(late, Mode::flow).x());
    settle();
    EXPECT_FALSE(late.moving());
    EXPECT_EQ(late.pillRect(), itemRect(late, Mode::flow));

    // The View menu: a switch from elsewhere moves the pill the same way.
    m->switchMode(Mode::ports);
    runPending();
    EXPECT_TRUE(late.moving());
    EXPECT_EQ(late.pillTarget(), itemRect(late, Mode::ports));
    settle();
    EXPECT_EQ(late.pillRect(), itemRect(late, Mode::ports));
    EXPECT_EQ(early.pillRect(), itemRect(early, Mode::ports));
    EXPECT_FALSE(FrameClock::shared().running());
}

TEST_F(ModeSwitchTest, RefusedClicksLeaveThePillWhereItIs)
{
    auto m = monitor();
    ModeSwitch s(*m);
    showOffscreen(s);

    QTest::mouseClick(s.itemFor(Mode::table), Qt::LeftButton);
    runPending();
    EXPECT_FALSE(s.moving());
    EXPECT_EQ(m->switchToken(), 0u);

    // An overlay blocks the window: the request is ignored.
    m->setBlocking(true);
    QTest::mouseClick(s.itemFor(Mode::ports), Qt::LeftButton);
    runPending();
    EXPECT_EQ(m->mode(), Mode::table);
    EXPECT_FALSE(s.moving());
    EXPECT_EQ(s.pillRect(), itemRect(s, Mode::table));
}

TEST_F(ModeSwitchTest, LanguageChangeRelaysTheItemsAndKeepsTheSelection)
{
    auto m = monitor();
    m->switchMode(Mode::field);
    ModeSwitch s(*m);
    showOffscreen(s);
    const int englishWidth = s.itemFor(Mode::ports)->width();
    EXPECT_EQ(s.itemFor(Mode::ports)->toolTip(),
              QStringLiteral("Listening ports and the processes that own them (Ctrl+5)"));

    setLanguage(*m, AppLanguage::zh);
    s.adjustSize();
    EXPECT_EQ(s.model().items[4].title, QStringLiteral("端口"));
    EXPECT_EQ(s.itemFor(Mode::ports)->toolTip(), QStringLiteral("正在监听的端口及其占用者（Ctrl+5）"));
    EXPECT_NE(s.itemFor(Mode::ports)->width(), englishWidth);
    EXPECT_TRUE(s.model().items[1].selected);
    EXPECT_FALSE(s.moving());
    EXPECT_EQ(s.pillRect(), itemRect(s, Mode::field));

    // Items never take the keyboard focus and stand 22 pixels high.
    for (Mode mode : Monitor::allModes) {
        EXPECT_EQ(s.itemFor(mode)->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(s.itemFor(mode)->height(), 22);
    }
}
