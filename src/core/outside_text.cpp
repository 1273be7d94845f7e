#include "core/outside_text.h"

#include "core/fmt.h"
#include "core/l10n.h"

#include "platform/text_marks.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace OutsideText {

namespace {

char32_t at(QStringView text, qsizetype i, qsizetype& units)
{
    units = 1;
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    }
    return text[i].unicode();
}

bool control(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

bool changes(char32_t c)
{
    return control(c) || TextMarks::directionControl(c) || TextMarks::invisibleMark(c);
}

// Whether `text` could move what stands around it in a left-to-right
// sentence: a right-to-left letter or digit, or a direction control.
bool turns(QStringView text)
{
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = at(text, i, units);
        if (TextMarks::directionControl(c))
            return true;
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN: return true;
        default: break;
        }
    }
    return false;
}

QString cleaned(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = at(text, i, units);
        if (control(c))
            out += QLatin1Char(' ');
        else if (TextMarks::directionControl(c))
            out += QChar(QChar::ReplacementCharacter);
        else if (!TextMarks::invisibleMark(c))
            out += text.mid(i, units);
    }
    return out;
}

bool needsCleaning(QStringView text)
{
    for (qsizetype i = 0, units = 1; i < text.size(); i += units)
        if (changes(at(text, i, units)))
            return true;
    return false;
}

} // namespace

QString plain(const QString& text)
{
    return needsCleaning(text) ? cleaned(text) : text;
}

QString isolate(QStringView text)
{
    const QString shown = needsCleaning(text) ? cleaned(text) : text.toString();
    // Left-to-right text cannot reorder a left-to-right sentence: it stays
    // as it is, free of invisible marks.
    if (!turns(text))
        return shown;
    return QChar(0x2068) + shown + QChar(0x2069);
}

QString clip(QStringView text, int graphemes)
{
    // A letter may carry marks, but not without end: a stack of marks counts
    // as more letters once it passes a few per letter.
    const qsizetype units = qsizetype(graphemes) * 4;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), int(text.size()));
    qsizetype end = 0;
    for (int i = 0; i < graphemes; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0 || next > units)
            break;
        end = next;
    }
    if (end >= text.size())
        return text.toString();
    if (end == 0) {
        // One letter longer than the whole allowance: cut it, though not
        // between the halves of a surrogate pair.
        end = std::min(units, text.size());
        if (end > 0 && text[end - 1].isHighSurrogate())
            --end;
    }
    return Fmt::cut(text.first(end));
}

QString echo(QStringView text)
{
    // About a line of the empty-state text: enough to recognise what was
    // typed, never a page of it.
    return isolate(clip(text, 48));
}

QString noMatch(const char* things, const char* thingsZh, QStringView filter)
{
    if (L10n::isChinese())
        return QStringLiteral("没有与「") + echo(filter) + QStringLiteral("」匹配的") + QString::fromUtf8(thingsZh);
    return QStringLiteral("No ") + QLatin1String(things) + QStringLiteral(" match “") + echo(filter)
        + QStringLiteral("”");
}

} // namespace OutsideText
