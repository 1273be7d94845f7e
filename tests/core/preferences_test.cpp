#include "core/demo_mode.h"
#include "core/l10n.h"
#include "core/preferences.h"
#include "platform/defaults.h"
#include "platform/memory_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

QJsonObject object(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

// What a newer build writes: settings this one has no field for, at the
// top and among the thresholds.
const char* newerValue =
    R"({"notify":false,"futureKey":{"mode":"quiet","levels":[1,2.5,null]},"futureFlag":true,
        "thresholds":{"systemCPU":90,"processCPU":120,"memoryGB":4,"memoryGrowthGB":2,
        "threads":500,"fds":2048,"downloadMB":6.5,"uploadMB":3,"gpuPercent":70}})";

// `json` holds the newer build's settings with the values it gave them.
void expectNewerKept(const QByteArray& json)
{
    const QJsonObject newer = object(newerValue);
    const QJsonObject o = object(json);
    EXPECT_EQ(o.value("futureKey"), newer.value("futureKey")) << json.toStdString();
    EXPECT_EQ(o.value("futureFlag"), QJsonValue(true)) << json.toStdString();
    EXPECT_EQ(o.value("thresholds").toObject().value("gpuPercent"), QJsonValue(70)) << json.toStdString();
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
    // Never past what the pane can set.
    check(1024, 64, 15);
    check(2048, 64, 16);
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
    // A key no field names is kept as it stands, for the build that wrote it.
    Preferences other = defaults;
    other.unknown.insert("other", 5);
    EXPECT_EQ(Preferences::decode(R"({"notify":null,"thresholds":null,"language":null,"other":5})"), other);

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

TEST(Preferences, AWrongKeyTakesItsDefaultAndTheRestIsKept)
{
    const Preferences defaults;
    // Inside the thresholds: a missing, fractional, out-of-range or textual
    // figure falls back alone.
    QByteArray inside = with(R"(,"notify":false)");
    inside.replace(",\"uploadMB\":3", "");
    inside.replace("\"threads\":500", "\"threads\":500.5");
    inside.replace("\"fds\":2048", "\"fds\":1e300");
    inside.replace("\"systemCPU\":90", "\"systemCPU\":\"90\"");
    auto p = Preferences::decode(inside);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->notify);
    Thresholds t = defaults.thresholds;
    t.processCPU = 120;
    t.memoryGB = 4;
    t.memoryGrowthGB = 2;
    t.downloadMB = 6.5;
    EXPECT_EQ(p->thresholds, t);

    // A figure past its slider's end is held there; one that is not finite
    // takes its default.
    p = Preferences::decode(R"({"thresholds":{"downloadMB":1e-300,"uploadMB":1e300,"systemCPU":-5,
        "memoryGB":65,"memoryGrowthGB":0.1,"threads":1000000,"fds":3}})");
    ASSERT_TRUE(p);
    t = defaults.thresholds;
    t.downloadMB = 0.5;
    t.uploadMB = 100;
    t.systemCPU = 50;
    t.memoryGB = 64;
    t.memoryGrowthGB = 0.5;
    t.threads = 2000;
    t.fds = 256;
    EXPECT_EQ(p->thresholds, t);
    const QJsonObject odd{{"processCPU", qInf()}, {"memoryGB", -qInf()}, {"uploadMB", qQNaN()}};
    EXPECT_EQ(Thresholds::fromJson(odd, defaults.thresholds), defaults.thresholds);
    Thresholds nan = defaults.thresholds;
    nan.downloadMB = qQNaN();
    EXPECT_EQ(Thresholds::fromJson({}, nan).downloadMB, 0.5);

    // At the top level: an unknown language, a number for a switch, a text
    // for a list, a list for the thresholds.
    p = Preferences::decode(R"({"language":"fr","notify":1,"sounds":false,"ignored":"Slack",
                               "thresholds":[1],"menuBarPercent":false})");
    ASSERT_TRUE(p);
    Preferences expected;
    expected.sounds = false;
    expected.menuBarPercent = false;
    EXPECT_EQ(*p, expected);
    // A name of blanks alone names no process and would show as an empty row.
    EXPECT_EQ(Preferences::decode(R"({"ignored":["Slack",1,null,""," \t ","\u3000"," exe:node"]})")->ignored,
              (QStringList{"Slack", " exe:node"}));

    // Only data that is no JSON object at all gives nothing.
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
    Defaults reread(dir.filePath("t.conf"));
    EXPECT_EQ(Preferences::load(reread), p);

    // A value JSON cannot hold is not stored at all.
    Preferences bad = p;
    bad.thresholds.systemCPU = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(bad.encode());
    bad.save(store);
    EXPECT_EQ(Preferences::load(store), p);
}

TEST(Preferences, StoredSettingsKeepWhatDecodesAndStayOnDisk)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Tavrin.conf");
    {
        // As an older version, or a person with an editor, left it.
        Defaults store(file);
        store.set("preferences", QStringLiteral(R"({"language":"zh","thresholds":{"processCPU":50}})"));
    }
    Defaults::useFile(file);
    Preferences expected;
    expected.language = AppLanguage::zh;
    expected.thresholds.processCPU = 50;
    EXPECT_EQ(Preferences::load(), expected);

    // Junk reads as the defaults and stays as it was until the next save.
    Defaults store(dir.filePath("junk.conf"));
    const QByteArray junk = R"({"language":"zh","notify":fal)";
    store.set("preferences", junk);
    EXPECT_EQ(Preferences::load(store), Preferences{});
    EXPECT_EQ(store.data("preferences"), junk);
}

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList* logged = nullptr;

void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (logged && type == QtWarningMsg)
        logged->append(text);
}

} // namespace

TEST(Preferences, AValueThatDoesNotDecodeIsKeptAsItWasBeforeAnythingIsWrittenOverIt)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Tavrin.conf");
    const QString aside = file + ".unreadable";
    const QByteArray whole = R"({"ignored":["keep-one","keep-two"],"language":"zh","sounds":false})";
    QByteArray comma = whole;
    comma.replace("\"keep-two\"]", "\"keep-two\",]");
    const QByteArray cut = whole.chopped(2);
    QStringList warnings;
    logged = &warnings;
    const QtMessageHandler before = qInstallMessageHandler(keepWarnings);

    for (const QByteArray& damaged : {comma, cut}) {
        SCOPED_TRACE(damaged.constData());
        QFile::remove(file);
        QDir(aside).removeRecursively();
        QFile::remove(aside);
        QFile::remove(aside + "-2");
        warnings.clear();
        {
            Defaults writer(file);
            writer.set("mode", "flow");
            writer.set("preferences", damaged);
        }
        const QByteArray original = fileBytes(file);
        Defaults store(file);
        EXPECT_EQ(Preferences::load(store), Preferences{});
        EXPECT_EQ(fileBytes(file), original); // reading never writes
        EXPECT_FALSE(QFileInfo::exists(aside));

        Preferences changed;
        changed.notify = false;
        QString kept = aside;
        if (damaged == comma) {
            // A folder where the copy would go is passed over, never
            // emptied: the copy takes the next name.
            ASSERT_TRUE(QDir().mkpath(aside + "/in-the-way"));
            kept = aside + "-2";
            EXPECT_TRUE(changed.save(store));
            EXPECT_TRUE(QFileInfo(aside + "/in-the-way").isDir());
        } else {
            // Any write over the file comes after the copy.
            EXPECT_TRUE(store.set("mode", "table"));
            EXPECT_EQ(fileBytes(aside), original);
        }
        EXPECT_EQ(store.keptAs(), kept);
        EXPECT_TRUE(changed.save(store));
        EXPECT_EQ(store.lastFailure(), Defaults::Failure::none);
        EXPECT_EQ(fileBytes(kept), original);
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings[0].contains(kept)) << warnings[0].toStdString();
        // The copy is made once; later saves go straight to the file.
        changed.sounds = false;
        EXPECT_TRUE(changed.save(store));
        EXPECT_EQ(fileBytes(kept), original);
        Defaults reread(file);
        EXPECT_EQ(Preferences::load(reread), changed);
        EXPECT_EQ(reread.stringValue("mode"), damaged == comma ? "flow" : "table");
    }
    qInstallMessageHandler(before);
    logged = nullptr;
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

TEST(Preferences, AMergeTakesOnlyWhatThisCopyChangedOverWhatTheFileHolds)
{
    Preferences base;
    base.ignored = {"a", "b"};

    // This copy: notifications off, one threshold, "a" unmuted, "c" muted.
    Preferences mine = base;
    mine.notify = false;
    mine.thresholds.fds = 4096;
    mine.ignored = {"b", "c"};

    // Another copy meanwhile: the tray percent off, another threshold, the
    // language, "d" muted, "b" unmuted.
    Preferences stored = base;
    stored.menuBarPercent = false;
    stored.thresholds.threads = 800;
    stored.language = AppLanguage::zh;
    stored.ignored = {"a", "d"};

    const Preferences merged = Preferences::merged(stored, base, mine);
    Preferences expected = stored;
    expected.notify = false;
    expected.thresholds.fds = 4096;
    expected.ignored = {"d", "c"};
    EXPECT_EQ(merged, expected);

    // Nothing changed here: the file's value as it stands.
    EXPECT_EQ(Preferences::merged(stored, base, base), stored);
    // Both changed one setting: the later write has it.
    Preferences both = stored;
    both.menuBarPercent = true;
    Preferences mineToo = base;
    mineToo.menuBarPercent = false;
    EXPECT_FALSE(Preferences::merged(both, base, mineToo).menuBarPercent);
}

TEST(Preferences, ASaveWritesItsChangesOverWhatAnotherCopyLeftInTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    Defaults ours(path);
    Preferences base;
    base.sounds = false;
    ASSERT_TRUE(base.save(ours));

    // Another copy writes the file behind this one's back: the same size,
    // and the same time, as two writes in one clock tick leave it.
    Preferences theirs = base;
    theirs.sounds = true;
    theirs.menuBarPercent = false;
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        const QDateTime when = file.fileTime(QFileDevice::FileModificationTime);
        file.close();
        const qsizetype size = text.size();
        text.replace("menuBarPercent\\\":true", "menuBarPercent\\\":false")
            .replace("sounds\\\":false", "sounds\\\":true");
        ASSERT_EQ(text.size(), size);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    }
    ASSERT_EQ(Preferences::stored(ours), theirs);

    Preferences mine = base;
    mine.notify = false;
    const std::optional<Preferences> written = mine.saveChanges(ours, base);
    ASSERT_TRUE(written.has_value());
    Preferences expected = theirs;
    expected.notify = false;
    EXPECT_EQ(*written, expected);
    EXPECT_EQ(Preferences::stored(ours), expected);
}

TEST(Preferences, SettingsANewerBuildStoredAreWrittenBackAsTheyStand)
{
    // Read and written again unchanged, and with a change of this build's.
    const std::optional<Preferences> read = Preferences::decode(newerValue);
    ASSERT_TRUE(read.has_value());
    EXPECT_FALSE(read->notify);
    EXPECT_EQ(read->thresholds.systemCPU, 90);
    std::optional<QByteArray> again = read->encode();
    ASSERT_TRUE(again.has_value());
    expectNewerKept(*again);
    Preferences changed = *read;
    changed.sounds = false;
    changed.thresholds.fds = 4096;
    again = changed.encode();
    ASSERT_TRUE(again.has_value());
    expectNewerKept(*again);
    EXPECT_EQ(object(*again).value("sounds"), QJsonValue(false));
    EXPECT_EQ(object(*again).value("thresholds").toObject().value("fds"), QJsonValue(4096));
    // A key this build reads is never taken from what it did not know.
    EXPECT_EQ(object(*again).size(), object(Preferences{}.encode().value()).size() + 2);

    // Through a save to the file and a load from it.
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    {
        Defaults store(path);
        ASSERT_TRUE(store.set("preferences", QByteArray(newerValue)));
    }
    Defaults store(path);
    Preferences loaded = Preferences::load(store);
    loaded.menuBarPercent = false;
    ASSERT_TRUE(loaded.save(store));
    Defaults reread(path);
    ASSERT_TRUE(reread.data("preferences").has_value());
    expectNewerKept(*reread.data("preferences"));
    EXPECT_FALSE(Preferences::load(reread).menuBarPercent);
}

TEST(Preferences, AMergeWithAnotherCopysWriteKeepsTheSettingsThisBuildDoesNotKnow)
{
    // This copy read the file before the newer build wrote it.
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    Defaults ours(path);
    const Preferences base;
    ASSERT_TRUE(base.save(ours));
    {
        Defaults newer(path);
        ASSERT_TRUE(newer.set("preferences", QByteArray(newerValue)));
    }
    Preferences mine = base;
    mine.language = AppLanguage::zh;
    const std::optional<Preferences> written = mine.saveChanges(ours, base);
    ASSERT_TRUE(written.has_value());
    EXPECT_FALSE(written->notify);
    EXPECT_EQ(written->language, AppLanguage::zh);
    const std::optional<QByteArray> onDisk = ours.storedData("preferences");
    ASSERT_TRUE(onDisk.has_value());
    expectNewerKept(*onDisk);

    // The value written, as this copy goes on with it, keeps them through
    // its next change; a merge takes them from the file.
    Preferences next = *written;
    next.sounds = false;
    ASSERT_TRUE(next.saveChanges(ours, *written).has_value());
    expectNewerKept(ours.storedData("preferences").value_or(QByteArray()));
    const Preferences stored = Preferences::decode(newerValue).value();
    expectNewerKept(Preferences::merged(stored, base, mine).encode().value());
}
