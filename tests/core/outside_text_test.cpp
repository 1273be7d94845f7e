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
    // Letters of right-to-left scripts, joiners and emoji stay as they are.
    const QString kept = QStringLiteral("\u05E9\u05DC\u200D\u05D5\u05DD.example 😀");
    EXPECT_EQ(OutsideText::plain(kept), kept);
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
