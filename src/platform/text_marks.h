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

// Zero-width space, the direction marks (left-to-right, right-to-left and
// Arabic letter), the word joiner and the byte-order mark: invisible, so two
// names that look alike may differ by them, and a direction mark turns the
// digits beside it.
constexpr bool invisibleMark(char32_t c)
{
    return c == 0x200b || c == 0x200e || c == 0x200f || c == 0x061c || c == 0x2060 || c == 0xfeff;
}

} // namespace TextMarks
