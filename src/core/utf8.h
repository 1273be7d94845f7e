#pragma once

#include <QByteArrayView>

// The length of the well-formed UTF-8 sequence at `at` in `s` (no overlong
// form, no surrogate, nothing past U+10FFFF), or 0; its character in *c.
inline qsizetype utf8Sequence(QByteArrayView s, qsizetype at, char32_t* c = nullptr)
{
    const auto byte = [&](qsizetype i) { return i < s.size() ? uchar(s[i]) : 0u; };
    const auto cont = [&](qsizetype i) { return (byte(i) & 0xc0) == 0x80; };
    const uint lead = byte(at);
    qsizetype n = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        n = 1;
        value = lead;
    } else if (lead >= 0xc2 && lead <= 0xdf && cont(at + 1)) {
        n = 2;
        value = ((lead & 0x1f) << 6) | (byte(at + 1) & 0x3f);
    } else if (lead >= 0xe0 && lead <= 0xef && cont(at + 1) && cont(at + 2)) {
        value = ((lead & 0x0f) << 12) | ((byte(at + 1) & 0x3f) << 6) | (byte(at + 2) & 0x3f);
        n = value >= 0x800 && (value < 0xd800 || value > 0xdfff) ? 3 : 0;
    } else if (lead >= 0xf0 && lead <= 0xf4 && cont(at + 1) && cont(at + 2) && cont(at + 3)) {
        value = ((lead & 0x07) << 18) | ((byte(at + 1) & 0x3f) << 12) | ((byte(at + 2) & 0x3f) << 6)
            | (byte(at + 3) & 0x3f);
        n = value >= 0x10000 && value <= 0x10ffff ? 4 : 0;
    }
    if (n && c)
        *c = value;
    return n;
}
