#include "core/outside_text.h"

#include <gtest/gtest.h>

namespace {

const QString mark(QChar::ReplacementCharacter);
const QChar fsi(0x2068), pdi(0x2069);

} // namespace

// Every bidirectional control a name may carry is shown as a mark or gone,
// so none of them reorders the name or what follows it.
TEST(OutsideText, PlainShowsOrDropsEveryDirectionControl)
{
    EXPECT_EQ(OutsideText::plain(QStringLiteral("\u202Elapyap.example")), mark + "lapyap.example");
    for (char16_t c : {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        EXPECT_EQ(OutsideText::plain(QStringLiteral("a") + QChar(c) + u'b'), "a" + mark + "b") << int(c);
    for (char16_t c : {0x200E, 0x200F, 0x061C})
        EXPECT_EQ(OutsideText::plain(QStringLiteral("a") + QChar(c) + u'b'), "ab") << int(c);
    // A line break or an escape would start a line or a sequence of its own.
    EXPECT_EQ(OutsideText::plain(QStringLiteral("a\nb\x1b")), "a b ");
    // Letters of right-to-left scripts and emoji stay as they are; a joiner
    // between letters goes (it draws nothing there).
    const QString kept = QStringLiteral("\u05E9\u05DC\u05D5\u05DD.example 😀");
    EXPECT_EQ(OutsideText::plain(kept), kept);
    EXPECT_EQ(OutsideText::plain(QStringLiteral("\u05E9\u05DC\u200D\u05D5\u05DD")),
              QStringLiteral("\u05E9\u05DC\u05D5\u05DD"));
}

// Every way a name can leave its line, hide, or pile up over the rows
// around it: the separators are spaces, what draws nothing goes, and a
// letter keeps four stacking marks at most. Emoji sequences, a flag's tags,
// accents and a script's vowel signs stay whole, and a plain text is plain.
TEST(OutsideText, PlainKeepsANameOnItsLineAndInItsRow)
{
    EXPECT_EQ(OutsideText::plain(QStringLiteral("zzz\u2028\u2028\u2028firefox 99.9%")),
              QStringLiteral("zzz   firefox 99.9%"));
    EXPECT_EQ(OutsideText::plain(QStringLiteral("a\u2029b\u0085c")), QStringLiteral("a b c"));

    for (char32_t c : {0x200B, 0x200C, 0x200D, 0x2060, 0x2061, 0x2062, 0x2063, 0x2064, 0xFEFF, 0x180E, 0x115F,
                       0x1160, 0x3164, 0xFFA0, 0x00AD, 0x034F, 0x206A, 0xFFF9, 0xFFFA, 0xFFFB, 0xFFFC,
                       0xE0041, 0x1D173}) {
        const QString text = QStringLiteral("a") + QString::fromUcs4(&c, 1) + QStringLiteral("b");
        EXPECT_EQ(OutsideText::plain(text), QStringLiteral("ab")) << std::hex << uint(c);
    }
    EXPECT_EQ(OutsideText::plain(QStringLiteral("\u3164\u3164")), QString());

    // Joiners inside emoji sequences make one picture; tags after a black
    // flag name a region.
    for (const QString& emoji : {QStringLiteral("👨\u200D👩\u200D👧\u200D👦"), QStringLiteral("🧑🏽\u200D💻 dev"),
                                 QStringLiteral("🏴\U000E0067\U000E0062\U000E0073\U000E0063\U000E0074\U000E007F"),
                                 QStringLiteral("❤\uFE0F 1\uFE0F\u20E3")})
        EXPECT_EQ(OutsideText::plain(emoji), emoji);
    EXPECT_EQ(OutsideText::plain(QStringLiteral("👨\u200Dx\u200D")), QStringLiteral("👨x"));

    const QString acute(QChar(0x0301));
    EXPECT_EQ(OutsideText::plain(QStringLiteral("a") + acute.repeated(50) + QStringLiteral("b")),
              QStringLiteral("a") + acute.repeated(4) + QStringLiteral("b"));
    // A mark past the first character, or after a dropped invisible one,
    // still counts towards its letter.
    EXPECT_EQ(OutsideText::plain(acute.repeated(6)), acute.repeated(4));
    EXPECT_EQ(OutsideText::plain(QStringLiteral("a") + acute.repeated(3) + QChar(0x200B) + acute.repeated(3)),
              QStringLiteral("a") + acute.repeated(4));
    for (const QString& word : {QStringLiteral("Vie\u0323\u0302t"), QStringLiteral("\u0915\u094D\u0937\u093F"),
                                QStringLiteral("\u0F66\u0F90\u0FB1\u0F7C"), QStringLiteral("a\u20DD")}) {
        EXPECT_EQ(OutsideText::plain(word), word);
        // A clean text is handed back as it is, shared.
        EXPECT_EQ(OutsideText::plain(word).constData(), word.constData());
    }

    // The rule holds once: what it made is plain already.
    for (const QString& text : {QStringLiteral("👨\u200D\u200B👩"), QStringLiteral("a\u0301\u0302\u0303\u0304\u0305\u0306"),
                                QStringLiteral("\u202E\u2028\u3164x")}) {
        const QString once = OutsideText::plain(text);
        EXPECT_EQ(OutsideText::plain(once), once);
    }
}

// A name that shows nothing at all is known, so it can be given a stand-in.
TEST(OutsideText, BlankIsWhatDrawsNothing)
{
    for (const QString& text : {QString(), QStringLiteral(" \t"), QStringLiteral("\u3164\u3164"), QStringLiteral("\u3000\u2800"),
                                QStringLiteral("\u200B\u0301"), QStringLiteral("\u115F\u1160\uFFA0"),
                                QStringLiteral("\uFFF9\uFFFA\uFFFB"), QStringLiteral("\uFFFC\uFFFC")})
        EXPECT_TRUE(OutsideText::blank(text)) << text.toStdString();
    for (const QString& text : {QStringLiteral("a"), QStringLiteral(" \u3164x"), QStringLiteral("\uFFFD"), QStringLiteral("名")})
        EXPECT_FALSE(OutsideText::blank(text)) << text.toStdString();
}

// Beside figures, an outside text keeps its own direction and leaves theirs:
// a right-to-left name is isolated, a control in any name is a mark, and a
// name that cannot turn anything stays as it is.
TEST(OutsideText, IsolateSetsANameApartFromTheFiguresBesideIt)
{
    EXPECT_EQ(OutsideText::isolate(u"example.com"), "example.com");
    EXPECT_EQ(OutsideText::isolate(u"\u05E9\u05DC\u05D5\u05DD.example"),
              fsi + QStringLiteral("\u05E9\u05DC\u05D5\u05DD.example") + pdi);
    EXPECT_EQ(OutsideText::isolate(u"\u202Elapyap.example"), fsi + mark + "lapyap.example" + pdi);
    // A pop of its own cannot close the isolate early, nor a mark turn it.
    EXPECT_EQ(OutsideText::isolate(u"\u05D0\u2069\u200F1"), fsi + QStringLiteral("\u05D0") + mark + "1" + pdi);
    EXPECT_EQ(OutsideText::isolate(u"\u061Cab"), fsi + QStringLiteral("ab") + pdi);
}
