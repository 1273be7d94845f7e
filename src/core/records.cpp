#include "core/records.h"

#include "platform/text_marks.h"

#include <algorithm>

QString ProcSample::cleanName(QStringView text)
{
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), maxNameBytes));
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text[i].unicode();
        qsizetype units = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        } else if (text[i].isSurrogate()) {
            c = QChar::ReplacementCharacter; // a lone half has no UTF-8 form
        }
        // C0, DEL and C1 controls: line breaks, tabs, escapes.
        if (c < 0x20 || (c >= 0x7f && c < 0xa0))
            c = u' ';
        // Embeddings, overrides and isolates would reorder what follows the
        // name ("evil\u202Efdp.exe" reads as "evilexe.pdf"); they show as
        // a visible mark instead. Invisible marks and joiners-to-nothing
        // go, so two names that look alike are alike.
        if (TextMarks::directionControl(c))
            c = QChar::ReplacementCharacter;
        if (TextMarks::invisibleMark(c)) {
            i += units;
            continue;
        }
        const int width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + width > maxNameBytes)
            break;
        bytes += width;
        if (c >= 0x10000) {
            out += QChar::highSurrogate(c);
            out += QChar::lowSurrogate(c);
        } else {
            out += QChar(char16_t(c));
        }
        i += units;
    }
    return out;
}

void GroupSample::add(const ProcSample& p)
{
    members.push_back(p);
    cpu += p.cpu;
    mem += p.mem;
    threads += p.threads;
    fds += p.fds;
    netIn += p.netIn;
    netOut += p.netOut;
    diskRead += p.diskRead;
    diskWrite += p.diskWrite;
}

QString Listener::id() const
{
    return QString::number(pid) + u'.' + proto + u'.' + QString::number(port);
}
