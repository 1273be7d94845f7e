#include "core/records.h"

#include "core/outside_text.h"

#include <algorithm>

namespace {

// At most `limit` UTF-8 bytes of `text`, cut on a character boundary.
QString cutUtf8(const QString& text, int limit)
{
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const char32_t c = units == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const int width = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + width > limit)
            return text.first(i);
        bytes += width;
        i += units;
    }
    return text;
}

} // namespace

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
    return cutUtf8(OutsideText::plain(whole), maxNameBytes);
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

QString ProcSample::withOwner(QStringView name, QStringView owner)
{
    // The whole stays within what a record holds, and it is the name that
    // gives way: a cut never takes the owner off.
    const QString suffix = QStringLiteral(" (") + cutUtf8(owner.toString(), maxOwnerBytes) + u')';
    return cutUtf8(name.toString(), maxNameBytes - int(suffix.toUtf8().size())) + suffix;
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
