#pragma once
// Characters that change how a name reads without showing themselves. Names
// from outside are cleaned of them wherever they are cleaned at all.

namespace TextMarks {

// Embeddings, overrides and isolates: they reorder the text that follows
// ("evil\u202Efdp.exe" reads as "evilexe.pdf").
constexpr bool directionControl(char32_t c)
{
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

// The line and paragraph separators: a text layout starts a new line at
// each, so a one-line name would draw over the row below its own.
constexpr bool lineSeparator(char32_t c)
{
    return c == 0x2028 || c == 0x2029;
}

// The zero-width joiner: it belongs in an emoji sequence (a family is one
// picture), and is invisible anywhere else.
constexpr char32_t zeroWidthJoiner = 0x200d;

// Characters that draw nothing: zero-width space and non-joiner, the
// direction marks (left-to-right, right-to-left and Arabic letter), the
// word joiner and the invisible operators, the deprecated format controls,
// the byte-order mark, the soft hyphen, the combining grapheme joiner, the
// Mongolian vowel separator, the Hangul fillers (a name of "\u3164\u3164"
// reads as blank), the Khmer inherent vowels, the interlinear annotation
// controls and the object replacement character (a text layout draws
// nothing for either), shorthand and musical format controls, and the tag
// characters. Two names that look alike may differ by
// them, a direction mark turns the digits beside it, and a name of nothing
// else shows nothing.
constexpr bool invisibleMark(char32_t c)
{
    return c == 0x00ad || c == 0x034f || c == 0x061c || c == 0x115f || c == 0x1160 || c == 0x17b4
        || c == 0x17b5 || c == 0x180e || c == 0x200b || c == 0x200c || c == 0x200e || c == 0x200f
        || (c >= 0x2060 && c <= 0x2065) || (c >= 0x206a && c <= 0x206f) || c == 0x3164 || c == 0xfeff
        || c == 0xffa0 || (c >= 0xfff0 && c <= 0xfffc) || (c >= 0x1bca0 && c <= 0x1bca3)
        || (c >= 0x1d173 && c <= 0x1d17a) || (c >= 0xe0000 && c <= 0xe00ff);
}

// A tag character: invisible, but a run of them after a black flag names a
// region's flag.
constexpr bool tag(char32_t c)
{
    return c >= 0xe0020 && c <= 0xe007f;
}

} // namespace TextMarks
