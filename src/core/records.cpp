#include "core/records.h"

#include "core/outside_text.h"

#include <algorithm>

QString ProcSample::cleanName(QStringView text)
{
    // A lone surrogate half has no UTF-8 form.
    QString whole;
    whole.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            whole += text.mid(i, 2);
            ++i;
        } else {
            whole += text[i].isSurrogate() ? QChar(QChar::ReplacementCharacter) : text[i];
        }
    }
    const QString shown = OutsideText::plain(whole);
    int bytes = 0;
    for (qsizetype i = 0; i < shown.size();) {
        const qsizetype units = shown[i].isHighSurrogate() && i + 1 < shown.size() ? 2 : 1;
        const char32_t c = units == 2 ? QChar::surrogateToUcs4(shown[i], shown[i + 1]) : shown[i].unicode();
        const int width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + width > maxNameBytes)
            return shown.first(i);
        bytes += width;
        i += units;
    }
    return shown;
}

QString ProcSample::shownName(QStringView name, QStringView path, std::optional<int32_t> pid)
{
    QString shown = cleanName(name);
    if (!OutsideText::blank(shown))
        return shown;
    shown = cleanName(path.sliced(path.lastIndexOf(u'/') + 1));
    if (!OutsideText::blank(shown))
        return shown;
    if (pid)
        return QStringLiteral("pid ") + QString::number(*pid);
    return QStringLiteral("?");
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
