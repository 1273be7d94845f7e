#include "core/demo_mode.h"
#include "core/l10n.h"
#include "core/preferences.h"
#include "platform/defaults.h"
#include "platform/memory_info.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr uint64_t GiB = 1ull << 30;

const char* fullThresholds =
    R"("thresholds":{"systemCPU":90,"processCPU":120,"memoryGB":4,"memoryGrowthGB":2,
        "threads":500,"fds":2048,"downloadMB":6.5,"uploadMB":3})";

QByteArray with(const char* rest)
{
    return QByteArray("{") + fullThresholds + rest + "}";
}

} // namespace

TEST(Thresholds, MemoryDefaultsScaleWithInstalledMemory)
{
    auto check = [](uint64_t gib, double mem, double growth) {
        Thresholds t = Thresholds::forMemory(gib * GiB);
        EXPECT_EQ(t.memoryGB, mem) << gib;
        EXPECT_EQ(t.memoryGrowthGB, growth) << gib;
    };
    check(16, 8, 1);
    check(64, 8, 1);
    check(128, 13, 2);
    check(192, 19, 3);
    check(0, 8, 1);
    // 100 GiB × 0.015 = 1.5 rounds away from zero.
    check(100, 10, 2);
    Thresholds t = Thresholds::forMemory(16 * GiB);
    EXPECT_EQ(t.systemCPU, 85);
    EXPECT_EQ(t.processCPU, 150);
    EXPECT_EQ(t.threads, 400);
    EXPECT_EQ(t.fds, 1024);
    EXPECT_EQ(t.downloadMB, 5);
    EXPECT_EQ(t.uploadMB, 2);
    EXPECT_EQ(Thresholds(), Thresholds::forMemory(MemoryInfo::installedMemory()));
}

TEST(Preferences, MissingOrNullTopLevelKeysTakeDefaults)
{
    const Preferences defaults;
    EXPECT_EQ(Preferences::decode("{}"), defaults);
    EXPECT_EQ(Preferences::decode(R"({"notify":null,"thresholds":null,"language":null,"other":5})"), defaults);

    auto p = Preferences::decode(R"({"notify":false})");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->notify);
    Preferences expected;
    expected.notify = false;
    EXPECT_EQ(*p, expected);

    p = Preferences::decode(with(R"(,"language":"zh","ignored":["Slack","exe:node"],"sounds":false)"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->language, AppLanguage::zh);
    EXPECT_EQ(p->ignored, (QStringList{"Slack", "exe:node"}));
    EXPECT_FALSE(p->sounds);
    EXPECT_EQ(p->thresholds.threads, 500);
    EXPECT_EQ(p->thresholds.downloadMB, 6.5);
}

TEST(Preferences, AnythingWrongInsideRejectsTheWholeValue)
{
    EXPECT_FALSE(Preferences::decode(R"({"notify":false,"thresholds":{"systemCPU":1}})"));
    QByteArray noUpload = with("");
    noUpload.replace(",\"uploadMB\":3", "");
    EXPECT_FALSE(Preferences::decode(noUpload));
    QByteArray fractionalThreads = with("");
    fractionalThreads.replace("\"threads\":500", "\"threads\":500.5");
    EXPECT_FALSE(Preferences::decode(fractionalThreads));
    QByteArray hugeThreads = with("");
    hugeThreads.replace("\"threads\":500", "\"threads\":1e300");
    EXPECT_FALSE(Preferences::decode(hugeThreads));
    EXPECT_FALSE(Preferences::decode(with(R"(,"language":"fr")")));
    EXPECT_FALSE(Preferences::decode(R"({"notify":1})"));
    EXPECT_FALSE(Preferences::decode(R"({"ignored":"Slack"})"));
    EXPECT_FALSE(Preferences::decode(R"({"ignored":[1]})"));
    EXPECT_FALSE(Preferences::decode("[]"));
    EXPECT_FALSE(Preferences::decode("null"));
    EXPECT_FALSE(Preferences::decode("{\"notify\":tru"));
    EXPECT_FALSE(Preferences::decode(QByteArray("\xff\xfe\0\x01", 4)));
}

TEST(Preferences, SaveThenLoadGivesAnEqualValue)
{
    QTemporaryDir dir;
    Defaults store(dir.filePath("t.conf"));
    EXPECT_EQ(Preferences::load(store), Preferences{});

    Preferences p;
    p.notify = false;
    p.ignored = {"A, B", "C\nD"};
    p.language = AppLanguage::en;
    p.thresholds.memoryGB = 12.5;
    p.thresholds.fds = 4096;
    p.save(store);
    EXPECT_EQ(Preferences::load(store), p);
    EXPECT_EQ(Preferences::load(Defaults(dir.filePath("t.conf"))), p);

    // A value JSON cannot hold is not stored at all.
    Preferences bad = p;
    bad.thresholds.systemCPU = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(bad.encode());
    bad.save(store);
    EXPECT_EQ(Preferences::load(store), p);
}

TEST(Preferences, MalformedStoredDataGivesDefaultsAndStaysOnDisk)
{
    QTemporaryDir dir;
    Defaults store(dir.filePath("t.conf"));
    const QByteArray junk = R"({"language":"fr","notify":false})";
    store.set("preferences", junk);
    EXPECT_EQ(Preferences::load(store), Preferences{});
    EXPECT_EQ(store.data("preferences"), junk);
}

TEST(L10n, LanguageRule)
{
    EXPECT_TRUE(L10n::chineseFor(AppLanguage::zh, {"en-US"}));
    EXPECT_FALSE(L10n::chineseFor(AppLanguage::en, {"zh-CN"}));
    EXPECT_TRUE(L10n::chineseFor(AppLanguage::system, {"zh-Hans-CN", "en"}));
    EXPECT_FALSE(L10n::chineseFor(AppLanguage::system, {"en-GB", "zh-CN"}));
    EXPECT_FALSE(L10n::chineseFor(AppLanguage::system, {}));
    L10n::setChinese(true);
    EXPECT_TRUE(L10n::isChinese());
    L10n::setChinese(false);
    EXPECT_FALSE(L10n::isChinese());
    EXPECT_EQ(Preferences::languageFromText("system"), AppLanguage::system);
    EXPECT_EQ(Preferences::languageText(AppLanguage::zh), "zh");
}

TEST(DemoMode, ReadsTheDemoKey)
{
    QTemporaryDir dir;
    Defaults store(dir.filePath("t.conf"));
    EXPECT_FALSE(DemoMode::read(store));
    store.set("demo", true);
    EXPECT_TRUE(DemoMode::read(store));
    store.set("demo", "NO");
    EXPECT_FALSE(DemoMode::read(store));
}
