#include "core/outside_text.h"

#include "core/fmt.h"
#include "core/l10n.h"

#include "platform/text_marks.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <optional>

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

bool control(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0) || TextMarks::lineSeparator(c); }

// Marks start at U+0300: below it only controls need a look.
constexpr char32_t firstMark = 0x300;

// A mark drawn over or under the letter before it, or around it; a spacing
// mark takes room of its own, so it neither piles up nor starts a letter.
bool stacks(char32_t c)
{
    const QChar::Category k = QChar::category(c);
    return k == QChar::Mark_NonSpacing || k == QChar::Mark_Enclosing;
}

bool spacingMark(char32_t c) { return QChar::category(c) == QChar::Mark_SpacingCombining; }

// Marks one letter may carry: enough for any script's vowels and tones,
// too few to reach the rows above and below.
constexpr int maxMarks = 4;

constexpr char32_t blackFlag = 0x1f3f4;

bool changes(char32_t c)
{
    return control(c) || TextMarks::directionControl(c) || TextMarks::invisibleMark(c)
        || c == TextMarks::zeroWidthJoiner;
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

// Whether the joiner at `i` joins two pictures into one (the family emoji):
// the text's grapheme clusters then run on past it into a picture.
bool joinsPictures(QStringView text, qsizetype i, std::optional<QTextBoundaryFinder>& graphemes)
{
    if (i + 1 >= text.size())
        return false;
    qsizetype units = 1;
    const char32_t next = at(text, i + 1, units);
    if (next < firstMark || stacks(next) || spacingMark(next) || changes(next))
        return false;
    if (!graphemes)
        graphemes.emplace(QTextBoundaryFinder::Grapheme, text.data(), int(text.size()));
    graphemes->setPosition(int(i + 1));
    return !graphemes->isAtBoundary();
}

QString cleaned(QStringView text)
{
    QString out;
    out.reserve(text.size());
    std::optional<QTextBoundaryFinder> graphemes;
    int marks = 0;
    char32_t last = 0; // the last character kept
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = at(text, i, units);
        if (c >= firstMark && stacks(c) && !TextMarks::invisibleMark(c) && !TextMarks::tag(c)) {
            if (marks++ < maxMarks)
                out += text.mid(i, units);
            continue;
        }
        if (c == TextMarks::zeroWidthJoiner) {
            if (!joinsPictures(text, i, graphemes))
                continue;
        } else if (TextMarks::tag(c)) {
            // Kept only in a flag's run of tags.
            if (last != blackFlag && !TextMarks::tag(last))
                continue;
        } else if (TextMarks::invisibleMark(c)) {
            continue;
        }
        last = c;
        if (c >= firstMark && spacingMark(c)) {
            out += text.mid(i, units);
            continue;
        }
        marks = 0;
        if (control(c))
            out += QLatin1Char(' ');
        else if (TextMarks::directionControl(c))
            out += QChar(QChar::ReplacementCharacter);
        else
            out += text.mid(i, units);
    }
    return out;
}

// The scan every name takes each tick: one category look-up a character
// above U+0300, the full tests only for the categories that hold what
// cleaning changes.
bool needsCleaning(QStringView text)
{
    int marks = 0;
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = at(text, i, units);
        if (c < firstMark) {
            if (control(c) || c == 0xad)
                return true;
            marks = 0;
            continue;
        }
        switch (QChar::category(c)) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_Enclosing:
            if (TextMarks::invisibleMark(c) || ++marks > maxMarks)
                return true;
            break;
        case QChar::Mark_SpacingCombining: break;
        case QChar::Other_Format:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            if (changes(c))
                return true;
            marks = 0;
            break;
        case QChar::Letter_Other:
        case QChar::Symbol_Other:
            // The Hangul fillers and the object replacement character.
            if (TextMarks::invisibleMark(c))
                return true;
            marks = 0;
            break;
        default: marks = 0; break;
        }
    }
    return false;
}

} // namespace

QString plain(const QString& text)
{
    return needsCleaning(text) ? cleaned(text) : text;
}

bool blank(QStringView text)
{
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = at(text, i, units);
        // The braille blank is a letter that draws no dot.
        if (QChar::isSpace(c) || control(c) || c == 0x2800 || TextMarks::invisibleMark(c)
            || c == TextMarks::zeroWidthJoiner || TextMarks::directionControl(c))
            continue;
        if (c >= firstMark && (stacks(c) || spacingMark(c)))
            continue;
        return false;
    }
    return true;
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
