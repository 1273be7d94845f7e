#include "core/shell_quote.h"

#include <algorithm>

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
