#include "core/fmt.h"
#include "core/l10n.h"

#include <clocale>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Runs with the environment's locale, as a Qt program does; ctest runs this
// binary once more under LC_ALL=de_DE.UTF-8.
class FmtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::setlocale(LC_ALL, ""); }
    static void TearDownTestSuite() { std::setlocale(LC_ALL, "C"); }
    void SetUp() override { L10n::setChinese(false); }
    void TearDown() override { L10n::setChinese(false); }
};

QString zh(const char* s) { return QString::fromUtf8(s); }

} // namespace

TEST_F(FmtTest, Bytes)
{
    EXPECT_EQ(Fmt::bytes(0), "0B");
    EXPECT_EQ(Fmt::bytes(512), "512B");
    EXPECT_EQ(Fmt::bytes(1023), "1023B");
    EXPECT_EQ(Fmt::bytes(1024), "1K");
    EXPECT_EQ(Fmt::bytes(1536), "2K");
    EXPECT_EQ(Fmt::bytes(-2048), "-2K");
    EXPECT_EQ(Fmt::bytes(1048576), "1.0M");
    EXPECT_EQ(Fmt::bytes(157286400), "150M");
    EXPECT_EQ(Fmt::bytes(1073741824), "1.0G");
    EXPECT_EQ(Fmt::bytes(99.96 * 1073741824.0), "100.0G");
    EXPECT_EQ(Fmt::bytes(100 * 1073741824.0), "100G");
    EXPECT_EQ(Fmt::bytes(-1.5 * 1048576), "-1.5M");
    EXPECT_EQ(Fmt::bytes(kNan), "0B");
    EXPECT_EQ(Fmt::bytes(kInf), "0B");
    EXPECT_EQ(Fmt::bytes(-kInf), "0B");
    EXPECT_TRUE(Fmt::bytes(1e300).endsWith('G'));
}

TEST_F(FmtTest, Ago)
{
    EXPECT_EQ(Fmt::ago(-5), "0s ago");
    EXPECT_EQ(Fmt::ago(59.9), "59s ago");
    EXPECT_EQ(Fmt::ago(60), "1m ago");
    EXPECT_EQ(Fmt::ago(3599), "59m ago");
    EXPECT_EQ(Fmt::ago(7199), "1h ago");
    EXPECT_EQ(Fmt::ago(kNan), "0s ago");
    EXPECT_EQ(Fmt::ago(kInf), "2562047788015215h ago");
    L10n::setChinese(true);
    EXPECT_EQ(Fmt::ago(5), zh("5 秒前"));
    EXPECT_EQ(Fmt::ago(120), zh("2 分前"));
    EXPECT_EQ(Fmt::ago(7200), zh("2 时前"));
}

TEST_F(FmtTest, Duration)
{
    EXPECT_EQ(Fmt::duration(59), "59s");
    EXPECT_EQ(Fmt::duration(61), "1m 1s");
    EXPECT_EQ(Fmt::duration(3600), "1h 0m");
    EXPECT_EQ(Fmt::duration(3661), "1h 1m");
    EXPECT_EQ(Fmt::duration(90061), "1d 1h");
    EXPECT_EQ(Fmt::duration(-1), "0s");
    EXPECT_EQ(Fmt::duration(kNan), "0s");
    EXPECT_EQ(Fmt::duration(-kInf), "0s");
    EXPECT_FALSE(Fmt::duration(1e30).isEmpty());
    L10n::setChinese(true);
    EXPECT_EQ(Fmt::duration(61), zh("1 分 1 秒"));
    EXPECT_EQ(Fmt::duration(59), zh("59 秒"));
    EXPECT_EQ(Fmt::duration(3661), zh("1 时 1 分"));
    EXPECT_EQ(Fmt::duration(90061), zh("1 天 1 时"));
}

TEST_F(FmtTest, IgnoresADecimalCommaLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/deps.sh makes it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(Fmt::bytes(1048576), "1.0M");
    EXPECT_EQ(Fmt::bytes(1.5 * 1073741824.0), "1.5G");
    std::setlocale(LC_ALL, "");
}

// A cut drops the dots and hyphens it leaves against its ellipsis, on
// either side, and touches no other text.
TEST_F(FmtTest, ACutLosesADotOrHyphenBesideItsEllipsis)
{
    EXPECT_EQ(Fmt::cut(u"photos.cloud."), QStringLiteral("photos.cloud…"));
    EXPECT_EQ(Fmt::cut(u"app-store-", u".example"), QStringLiteral("app-store…example"));
    EXPECT_EQ(Fmt::cut(u"a..", u"-.b"), QStringLiteral("a…b"));
    EXPECT_EQ(Fmt::cut(u"photos", u"cloud"), QStringLiteral("photos…cloud"));
    EXPECT_EQ(Fmt::tidyCut(QStringLiteral("photos.cloud.…")), QStringLiteral("photos.cloud…"));
    EXPECT_EQ(Fmt::tidyCut(QStringLiteral("…-server")), QStringLiteral("…server"));
    EXPECT_EQ(Fmt::tidyCut(QStringLiteral("v1.2.3")), QStringLiteral("v1.2.3"));
    EXPECT_EQ(Fmt::tidyCut(QStringLiteral("a.b…c.d")), QStringLiteral("a.b…c.d"));
}
