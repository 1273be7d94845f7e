#include "model/launch_script.h"

#include <gtest/gtest.h>

using Entry = LaunchScript::Entry;

TEST(LaunchScript, KeepsWellFormedEntriesInOrder)
{
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("field@1,,ports@x,flow@3")),
              (std::vector<Entry>{{QStringLiteral("field"), 1}, {QStringLiteral("flow"), 3}}));
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("field@2,table@5.5")),
              (std::vector<Entry>{{QStringLiteral("field"), 2}, {QStringLiteral("table"), 5.5}}));
    // Empty pieces around "@" and "," are dropped before counting.
    EXPECT_EQ(LaunchScript::parse(QStringLiteral(",@@down@@0.25@,")),
              (std::vector<Entry>{{QStringLiteral("down"), 0.25}}));
    // Spaces stay part of the name.
    EXPECT_EQ(LaunchScript::parse(QStringLiteral(" field@1")),
              (std::vector<Entry>{{QStringLiteral(" field"), 1}}));
    EXPECT_TRUE(LaunchScript::parse(QString()).empty());
}

TEST(LaunchScript, SkipsEntriesWithoutExactlyNameAndDelay)
{
    for (const char* text : {"field", "field@", "@2", "field@1@2", "field@@", "a@1@b"})
        EXPECT_TRUE(LaunchScript::parse(QString::fromUtf8(text)).empty()) << text;
}

TEST(LaunchScript, DelaysMustBeWholeFiniteNonNegativeNumbers)
{
    for (const char* text : {"x@1s", "x@ 1", "x@1 ", "x@nan", "x@inf", "x@-1", "x@1e999",
                             "x@0x10", "x@", "x@.", "x@-inf", "x@١"})
        EXPECT_TRUE(LaunchScript::parse(QString::fromUtf8(text)).empty()) << text;
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("x@.5"))[0].delay, 0.5);
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("x@1e1"))[0].delay, 10);
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("x@0"))[0].delay, 0);
    EXPECT_EQ(LaunchScript::parse(QStringLiteral("x@+2"))[0].delay, 2);
}
