#include "core/shell_quote.h"

#include "core/utf8.h"
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
    // zsh reads a word that starts with "=" as the path of a command ("=ls"
    // is /usr/bin/ls), wherever it stands.
    if (std::all_of(arg.begin(), arg.end(), plainByte) && !arg.startsWith('=')
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
        const int n = int(utf8Sequence(arg, i, &c));
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
