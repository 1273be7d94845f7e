#include "core/shell_quote.h"

#include "platform/text_marks.h"

#include <QStringList>

#include <algorithm>
#include <string_view>

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

} // namespace

QString shellQuoted(const QString& path)
{
    if (std::none_of(path.cbegin(), path.cend(), [](QChar c) { return isControl(c.unicode()); }))
        return path;
    QString out = QStringLiteral("$'");
    for (QChar ch : path) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'\\':
            out += QStringLiteral("\\\\");
            continue;
        case u'\'':
            out += QStringLiteral("\\'");
            continue;
        case u'\n':
            out += QStringLiteral("\\n");
            continue;
        case u'\t':
            out += QStringLiteral("\\t");
            continue;
        case u'\r':
            out += QStringLiteral("\\r");
            continue;
        default:
            break;
        }
        if (!isControl(c)) {
            out += ch;
            continue;
        }
        // \xHH writes one byte, so a control above ASCII is written as the
        // bytes of its UTF-8 form.
        const QByteArray bytes = QString(ch).toUtf8();
        for (char b : bytes)
            out += QStringLiteral("\\x%1").arg(uint(uchar(b)), 2, 16, QLatin1Char('0'));
    }
    out += QLatin1Char('\'');
    return out;
}

namespace {

bool plainByte(char b)
{
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')
        || std::string_view("_@%+=:,./-").find(b) != std::string_view::npos;
}

// Words a shell reads as its own grammar at the start of a command.
bool keyword(QByteArrayView word)
{
    static constexpr std::string_view words[] = {"!", "case", "coproc", "do", "done", "elif", "else", "esac",
                                                  "fi", "for", "function", "if", "in", "select", "then",
                                                  "time", "until", "while"};
    return std::find(std::begin(words), std::end(words), std::string_view(word.data(), size_t(word.size())))
        != std::end(words);
}

// The length of the well-formed UTF-8 sequence at `i` (no overlong form,
// no surrogate, nothing past U+10FFFF) and its character, or 0.
int sequence(QByteArrayView s, qsizetype i, char32_t& c)
{
    const auto b = [&](qsizetype k) { return i + k < s.size() ? uchar(s[i + k]) : 0u; };
    const unsigned lead = b(0);
    const auto cont = [&](qsizetype k) { return (b(k) & 0xc0) == 0x80; };
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    if (lead >= 0xc2 && lead <= 0xdf && cont(1)) {
        c = ((lead & 0x1f) << 6) | (b(1) & 0x3f);
        return 2;
    }
    if (lead >= 0xe0 && lead <= 0xef && cont(1) && cont(2)) {
        c = ((lead & 0x0f) << 12) | ((b(1) & 0x3f) << 6) | (b(2) & 0x3f);
        return c >= 0x800 && (c < 0xd800 || c > 0xdfff) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4 && cont(1) && cont(2) && cont(3)) {
        c = ((lead & 0x07) << 18) | ((b(1) & 0x3f) << 12) | ((b(2) & 0x3f) << 6) | (b(3) & 0x3f);
        return c >= 0x10000 && c <= 0x10ffff ? 4 : 0;
    }
    return 0;
}

// Characters that would act on a terminal or hide in the line: they go
// through printf. A line break is shown as it is.
bool escaped(char32_t c)
{
    if (c == u'\n')
        return false;
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || TextMarks::directionControl(c) || TextMarks::lineSeparator(c)
        || TextMarks::invisibleMark(c) || c == TextMarks::zeroWidthJoiner;
}

QString word(QByteArrayView arg, bool first)
{
    if (arg.isEmpty())
        return QStringLiteral("''");
    if (std::all_of(arg.begin(), arg.end(), plainByte)
        && !(first && (arg.contains('=') || arg.startsWith('%') || keyword(arg))))
        return QString::fromLatin1(arg);
    QString out;
    bool quoted = false;
    QString bytes; // octal escapes waiting for their printf
    const auto flush = [&] {
        if (bytes.isEmpty())
            return;
        out += QStringLiteral("\"$(printf '") + bytes + QStringLiteral("')\"");
        bytes.clear();
    };
    for (qsizetype i = 0; i < arg.size();) {
        char32_t c = 0;
        const int n = sequence(arg, i, c);
        if (n == 0 || escaped(c)) {
            if (quoted)
                out += QLatin1Char('\'');
            quoted = false;
            for (int k = 0; k < std::max(n, 1); ++k)
                bytes += QStringLiteral("\\%1").arg(uint(uchar(arg[i + k])), 3, 8, QLatin1Char('0'));
            i += std::max(n, 1);
            continue;
        }
        flush();
        if (c == u'\'') {
            if (quoted)
                out += QLatin1Char('\'');
            quoted = false;
            out += QStringLiteral("\\'");
        } else {
            if (!quoted)
                out += QLatin1Char('\'');
            quoted = true;
            out += QString::fromUtf8(arg.sliced(i, n));
        }
        i += n;
    }
    flush();
    if (quoted)
        out += QLatin1Char('\'');
    return out;
}

} // namespace

QString shellCommand(const std::vector<QByteArray>& arguments)
{
    QStringList words;
    for (std::size_t i = 0; i < arguments.size(); ++i)
        words << word(arguments[i], i == 0);
    return words.join(QLatin1Char(' '));
}
