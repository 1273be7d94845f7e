#include "widget_fixture.h"

#include "core/l10n.h"
#include "ui/hold_badge.h"

#include <QImage>

#include <vector>

using Reason = InteractionHold::Reason;

namespace {

const std::optional<QString> none;
const std::optional<QString> twoNew = QStringLiteral("2 new");

class HoldBadgeTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        wasChinese = L10n::isChinese();
        L10n::setChinese(false);
    }
    void TearDown() override
    {
        L10n::setChinese(wasChinese);
        WidgetTest::TearDown();
    }

    // Freezes a, b, c; then b and c swap and, unless `fresh` is empty, new
    // rows appear. Reports reach the hold on a later turn.
    void freeze(InteractionHold& hold, std::vector<QString> fresh = {})
    {
        auto self = [](const QString& s) { return s; };
        const std::vector<QString> first{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        hold.arrange(first, QString(), 0, false, false, self);
        hold.set(Reason::pointer, true);
        std::vector<QString> next{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")};
        next.insert(next.end(), fresh.begin(), fresh.end());
        hold.arrange(next, QString(), 0, false, false, self);
        advance(0);
    }

    bool wasChinese = false;
};

} // namespace

TEST_F(HoldBadgeTest, TextFollowsWithheldThenStale)
{
    EXPECT_EQ(HoldBadge::text(0, false, twoNew), none);
    EXPECT_EQ(HoldBadge::text(0, true, twoNew), QStringLiteral("Order paused"));
    EXPECT_EQ(HoldBadge::text(0, true, none), QStringLiteral("Order paused"));
    EXPECT_EQ(HoldBadge::text(2, true, twoNew), twoNew);
    // Withheld rows without the caller's words show nothing, stale or not.
    EXPECT_EQ(HoldBadge::text(1, true, none), none);
    EXPECT_EQ(HoldBadge::text(1, false, QString()), none);

    L10n::setChinese(true);
    EXPECT_EQ(HoldBadge::text(0, true, none), QStringLiteral("排序暂停"));
    EXPECT_TRUE(HoldBadge::helpText().startsWith(QStringLiteral("指针")));
}

TEST_F(HoldBadgeTest, AppearsWhileStaleAndFadesOutOnRelease)
{
    InteractionHold hold(QStringLiteral("ports"));
    HoldBadge badge(hold);
    badge.show();
    EXPECT_EQ(badge.sizeHint(), QSize(0, 0));

    freeze(hold);
    ASSERT_TRUE(hold.stale());
    EXPECT_EQ(badge.shownText(), QStringLiteral("Order paused"));
    EXPECT_GT(badge.sizeHint().width(), 40);
    settle();
    EXPECT_DOUBLE_EQ(badge.opacity(), 1);

    hold.set(Reason::pointer, false);
    advance(0.5);
    EXPECT_EQ(badge.shownText(), none);
    // Still fading out: it keeps its room until it is gone.
    EXPECT_GT(badge.sizeHint().width(), 0);
    settle();
    EXPECT_DOUBLE_EQ(badge.opacity(), 0);
    EXPECT_EQ(badge.sizeHint(), QSize(0, 0));
    EXPECT_FALSE(FrameClock::shared().subscribed(&badge));
}

TEST_F(HoldBadgeTest, WithheldRowsShowTheCallersWordsOnly)
{
    InteractionHold hold(QStringLiteral("menu"));
    HoldBadge quiet(hold);
    HoldBadge counted(hold, twoNew);
    freeze(hold, {QStringLiteral("d"), QStringLiteral("e")});
    ASSERT_EQ(hold.withheld(), 2);
    EXPECT_EQ(quiet.shownText(), none);
    EXPECT_EQ(counted.shownText(), twoNew);

    counted.setNewItems(QStringLiteral("3 new"));
    EXPECT_EQ(counted.shownText(), QStringLiteral("3 new"));
}

TEST_F(HoldBadgeTest, PaintsInTheAccentColour)
{
    InteractionHold hold(QStringLiteral("flow"));
    HoldBadge badge(hold);
    freeze(hold);
    badge.resize(badge.sizeHint());
    // Hidden badges skip their fades.
    EXPECT_DOUBLE_EQ(badge.opacity(), 1);
    QImage image = badge.grab().toImage();
    int accent = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            accent += c.green() > 150 && c.red() < 120;
        }
    EXPECT_GT(accent, 10);
}

TEST_F(HoldBadgeTest, OutlivesItsHold)
{
    auto hold = std::make_unique<InteractionHold>(QStringLiteral("list"));
    HoldBadge badge(*hold);
    freeze(*hold);
    hold.reset();
    badge.grab();
    EXPECT_EQ(badge.shownText(), QStringLiteral("Order paused"));
}
