#include "core/l10n.h"
#include "settings/contact.h"

#include "language_guard.h"

#include <gtest/gtest.h>

namespace {

QStringList ids(const std::vector<Contact::Channel>& channels)
{
    QStringList out;
    for (const auto& c : channels)
        out << c.id;
    return out;
}

class ContactTest : public ::testing::Test {
protected:
    LanguageGuard english{false};
};

} // namespace

TEST_F(ContactTest, DecodeIsAllOrNothing)
{
    const Contact full = Contact::decode(R"({"telegram":"@grp","email":"a@b.c","x":"me","github":"me"})");
    EXPECT_EQ(full.telegram, "@grp");
    EXPECT_EQ(full.github, "me");
    // A missing key, a value of another type or no JSON at all: four empty
    // texts, so no channel at all rather than three.
    for (const char* broken : {R"({"telegram":"@grp","email":"a@b.c","x":"me"})",
                               R"({"telegram":"@grp","email":"a@b.c","x":"me","github":7})",
                               "not json", "[]"}) {
        const Contact c = Contact::decode(broken);
        EXPECT_EQ(c, Contact{}) << broken;
        EXPECT_TRUE(c.channels(QStringLiteral("1.0 (1)")).empty()) << broken;
    }
    EXPECT_TRUE(Contact::decode(R"({"telegram":"","email":"","x":"","github":""})")
                    .channels(QStringLiteral("1.0 (1)"))
                    .empty());
}

TEST_F(ContactTest, ChannelsInOrderWithLinksAndDetails)
{
    const Contact c{QStringLiteral("@tavrin_chat"), QStringLiteral("hi@example.org"),
                    QStringLiteral("@maker"), QStringLiteral("maker")};
    const auto channels = c.channels(QStringLiteral("1.4.0 (57)"));
    ASSERT_EQ(ids(channels), QStringList({"telegram", "email", "x", "github"}));

    EXPECT_EQ(channels[0].url.toString(), "https://t.me/tavrin_chat");
    EXPECT_EQ(channels[0].detail, "t.me/tavrin_chat");
    EXPECT_EQ(channels[0].name, "Telegram group");
    // Blanks are encoded, parentheses are allowed in a query and stay.
    EXPECT_EQ(channels[1].url.toEncoded(), "mailto:hi@example.org?subject=Tavrin%201.4.0%20(57)");
    EXPECT_EQ(channels[1].detail, "hi@example.org");
    // One at sign or none gives the same channel.
    EXPECT_EQ(channels[2].url.toString(), "https://x.com/maker");
    EXPECT_EQ(channels[2].detail, "@maker");
    EXPECT_EQ(channels[3].url.toString(), "https://github.com/maker");
    EXPECT_EQ(channels[3].detail, "github.com/maker");

    L10n::setChinese(true);
    const auto zh = c.channels(QStringLiteral("1.4.0 (57)"));
    EXPECT_EQ(zh[0].name, "Telegram 群组");
    EXPECT_EQ(zh[1].note, "适合较长或不便公开的反馈");
    EXPECT_EQ(zh[2].name, "X");
}

TEST_F(ContactTest, GroupLinksOnlyForWebSchemes)
{
    Contact c;
    c.telegram = QStringLiteral("https://t.me");
    auto channels = c.channels({});
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].url.toString(), "https://t.me");
    EXPECT_EQ(channels[0].detail, "t.me");

    // "httpx:" only looks like a link: it is a handle like any other and
    // never opens as a scheme of its own.
    c.telegram = QStringLiteral("httpx:evil");
    channels = c.channels({});
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].url.scheme(), "https");
    EXPECT_EQ(channels[0].url.host(), "t.me");

    // A handle that makes no valid link drops only its own channel.
    c.telegram = QStringLiteral("two words");
    c.github = QStringLiteral("maker");
    EXPECT_EQ(ids(c.channels({})), QStringList({"github"}));
}
