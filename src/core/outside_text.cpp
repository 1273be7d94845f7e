#include "core/outside_text.h"

#include "core/l10n.h"

#include "platform/text_marks.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace OutsideText {

namespace {

// Whether `text` could move what stands around it in a left-to-right
// sentence: a right-to-left letter or digit, or a direction control.
bool turns(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (TextMarks::directionControl(c))
            return true;
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirPDF: return true;
        default: break;
        }
    }
    return false;
}

} // namespace

QString isolate(QStringView text)
{
    // Left-to-right text cannot reorder a left-to-right sentence: it stays
    // as it is, free of invisible marks.
    if (!turns(text))
        return text.toString();
    QString out;
    out.reserve(text.size() + 2);
    out += QChar(0x2068);
    for (QChar c : text)
        out += TextMarks::directionControl(c.unicode()) ? QChar(QChar::ReplacementCharacter) : c;
    out += QChar(0x2069);
    return out;
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
    return text.first(end).toString() + QChar(0x2026);
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
