#include "app/stand_ins.h"

#include "core/l10n.h"

#include <gtest/gtest.h>

TEST(StandIn, NamesTheViewInEitherLanguage)
{
    const bool chinese = L10n::isChinese();
    L10n::setChinese(false);
    EXPECT_EQ(StandIn("Ports", "端口").name(), QStringLiteral("Ports"));
    EXPECT_EQ(StandIn::caption("Help", "帮助"), QStringLiteral("Help · not built yet"));
    L10n::setChinese(true);
    EXPECT_EQ(StandIn("Ports", "端口").name(), QStringLiteral("端口"));
    EXPECT_EQ(StandIn::notBuilt(), QStringLiteral("尚未构建"));
    L10n::setChinese(chinese);
}
