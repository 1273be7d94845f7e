#include "platform/defaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(DefaultsArguments, PairsKeysWithTheFollowingWord)
{
    auto d = Defaults::parseArguments({"-demo", "YES", "-motionScale", "-1", "stray", "-last"});
    EXPECT_EQ(d.value("demo"), "YES");
    EXPECT_EQ(d.value("motionScale"), "-1");
    EXPECT_FALSE(d.contains("last"));   // no value follows
    EXPECT_FALSE(d.contains("stray"));
    EXPECT_TRUE(Defaults::parseArguments({"-", "x"}).isEmpty());
}

TEST(DefaultsArguments, TextConversions)
{
    EXPECT_EQ(Defaults::parseBool("YES"), true);
    EXPECT_EQ(Defaults::parseBool("no"), false);
    EXPECT_EQ(Defaults::parseBool("1"), true);
    EXPECT_EQ(Defaults::parseBool("0"), false);
    EXPECT_EQ(Defaults::parseBool("maybe"), std::nullopt);
    EXPECT_EQ(Defaults::parseInt("42"), 42);
    EXPECT_EQ(Defaults::parseInt("-7"), -7);
    EXPECT_EQ(Defaults::parseInt("2.0"), 2);
    EXPECT_EQ(Defaults::parseInt("12abc"), std::nullopt);
    EXPECT_EQ(Defaults::parseDouble("0.25"), 0.25);
    EXPECT_EQ(Defaults::parseDouble("+1.5"), 1.5);
    EXPECT_EQ(Defaults::parseDouble("0,25"), std::nullopt);
    EXPECT_EQ(Defaults::parseDouble(""), std::nullopt);
}

TEST(Defaults, StoreRoundTripsEachKindOfValue)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    {
        Defaults d(path);
        d.set("flag", true);
        d.set("count", 12);
        d.set("scale", 0.5);
        d.set("mode", "field");
        d.set("list", "a,b");
        d.set("blob", QByteArray("{\"a\":1}\n\0x", 11));
    }
    Defaults d(path);
    EXPECT_TRUE(d.contains("flag"));
    EXPECT_FALSE(d.contains("missing"));
    EXPECT_TRUE(d.boolValue("flag"));
    EXPECT_EQ(d.intValue("count"), 12);
    EXPECT_DOUBLE_EQ(d.doubleValue("scale"), 0.5);
    EXPECT_EQ(d.stringValue("mode"), "field");
    EXPECT_EQ(d.stringValue("list"), "a,b");
    EXPECT_EQ(d.data("blob"), QByteArray("{\"a\":1}\n\0x", 11));
    EXPECT_EQ(d.data("missing"), std::nullopt);
    EXPECT_EQ(d.intValue("missing", 9), 9);
    d.remove("count");
    EXPECT_FALSE(d.contains("count"));
}

TEST(Defaults, ArgumentsOverrideForOneRunAndAreNeverWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    Defaults::useFile(path);
    Defaults::standard().set("demo", false);
    Defaults::setArguments({"-demo", "YES", "-mode", "flow"});
    EXPECT_TRUE(Defaults::standard().boolValue("demo"));
    EXPECT_TRUE(Defaults::standard().isArgument("demo"));
    EXPECT_EQ(Defaults::standard().stringValue("mode"), "flow");
    Defaults::standard().sync();

    Defaults reread(path);
    EXPECT_FALSE(reread.boolValue("demo", true));
    EXPECT_FALSE(reread.contains("mode"));
}

TEST(Defaults, HandWrittenValuesThatDoNotParseTakeTheFallback)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nscale=fast\ncount=1e3\nbare=a, b\n");
    f.close();
    Defaults d(path);
    EXPECT_DOUBLE_EQ(d.doubleValue("scale", 1.0), 1.0);
    EXPECT_EQ(d.intValue("count"), 1000);
    EXPECT_EQ(d.stringValue("bare"), "a,b");
}

TEST(Defaults, AWriteThatMissesTheFileSaysSoUntilOneLands)
{
    // A regular file where the settings folder should be stops root too.
    QTemporaryDir dir;
    const QString blocker = dir.filePath("Tavrin");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString path = blocker + "/Tavrin.conf";
    Defaults d(path);
    EXPECT_EQ(d.lastFailure(), Defaults::Failure::none);
    EXPECT_FALSE(d.set("mode", "flow"));
    EXPECT_EQ(d.lastFailure(), Defaults::Failure::notWritable);
    EXPECT_FALSE(d.set("demo", true));
    EXPECT_FALSE(d.remove("select"));
    // Held for this run all the same.
    EXPECT_EQ(d.stringValue("mode"), "flow");

    ASSERT_TRUE(QFile::remove(blocker));
    EXPECT_TRUE(d.set("welcomeSeen", true));
    EXPECT_EQ(d.lastFailure(), Defaults::Failure::none);
    // What missed the file before lands with it.
    Defaults again(path);
    EXPECT_EQ(again.stringValue("mode"), "flow");
    EXPECT_TRUE(again.boolValue("demo"));
    EXPECT_TRUE(again.boolValue("welcomeSeen"));
}

TEST(Defaults, AnUpdateStartsFromWhatTheFileHoldsNowUnderALock)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    // Whatever stands at the lock's name, no write waits on it for good.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path + ".flock").constData(), 0600), 0);
    Defaults d(path);

    std::vector<std::optional<QByteArray>> given;
    auto append = [&given](const char* tail) {
        return [&given, tail](const std::optional<QByteArray>& stored) -> std::optional<QVariant> {
            given.push_back(stored);
            return QVariant(stored.value_or(QByteArray()) + tail);
        };
    };
    EXPECT_TRUE(d.update("list", append("a")));
    EXPECT_TRUE(d.update("list", append("b")));
    // A change that has nothing to write writes nothing.
    EXPECT_FALSE(d.update("list", [](const std::optional<QByteArray>&) { return std::nullopt; }));
    ASSERT_EQ(given.size(), 2u);
    EXPECT_EQ(given[0], std::nullopt);
    EXPECT_EQ(given[1], QByteArray("a"));
    EXPECT_EQ(d.storedData("list"), QByteArray("ab"));
    EXPECT_EQ(Defaults(path).stringValue("list"), "ab");
    EXPECT_EQ(d.storedData("absent"), std::nullopt);
}
