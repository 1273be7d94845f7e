#include "core/fmt.h"

#include "core/l10n.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

// Seconds as a whole non-negative count; what is not finite counts as 0 and
// what exceeds the integer range is held at its top.
int64_t wholeSeconds(double s)
{
    if (!(s > 0))
        return 0;
    if (s >= 9.2233720368547758e18)
        return INT64_MAX;
    return static_cast<int64_t>(s);
}

QString num(int64_t n) { return QString::number(n); }

} // namespace

namespace Fmt {

QString fixed(double v, int precision)
{
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    if (ec != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buf, end - buf);
}

QString bytes(double v)
{
    if (!std::isfinite(v))
        v = 0;
    constexpr double K = 1024.0, M = K * K, G = M * K;
    const double a = std::fabs(v);
    if (a >= 100 * G) return fixed(v / G, 0) + u'G';
    if (a >= G)       return fixed(v / G, 1) + u'G';
    if (a >= 100 * M) return fixed(v / M, 0) + u'M';
    if (a >= M)       return fixed(v / M, 1) + u'M';
    if (a >= K)       return fixed(v / K, 0) + u'K';
    return fixed(v, 0) + u'B';
}

QString ago(double seconds)
{
    const int64_t n = wholeSeconds(seconds);
    const bool zh = L10n::isChinese();
    if (n >= 3600)
        return num(n / 3600) + (zh ? QStringLiteral(" 时前") : QStringLiteral("h ago"));
    if (n < 60)
        return num(n) + (zh ? QStringLiteral(" 秒前") : QStringLiteral("s ago"));
    return num(n / 60) + (zh ? QStringLiteral(" 分前") : QStringLiteral("m ago"));
}

QString duration(double seconds)
{
    const int64_t n = wholeSeconds(seconds);
    const bool zh = L10n::isChinese();
    auto two = [zh](int64_t a, const char* enA, const char* zhA, int64_t b, const char* enB,
                    const char* zhB) {
        return num(a) + QString::fromUtf8(zh ? zhA : enA) + num(b) + QString::fromUtf8(zh ? zhB : enB);
    };
    if (n >= 86400)
        return two(n / 86400, "d ", " 天 ", (n % 86400) / 3600, "h", " 时");
    if (n < 60)
        return num(n) + (zh ? QStringLiteral(" 秒") : QStringLiteral("s"));
    if (n < 3600)
        return two(n / 60, "m ", " 分 ", n % 60, "s", " 秒");
    return two(n / 3600, "h ", " 时 ", (n % 3600) / 60, "m", " 分");
}

namespace {

bool loose(QChar c) { return c == u'.' || c == u'-'; }

} // namespace

QString cut(QStringView head, QStringView tail)
{
    while (!head.isEmpty() && loose(head.back()))
        head.chop(1);
    while (!tail.isEmpty() && loose(tail.front()))
        tail = tail.mid(1);
    return head.toString() + QChar(0x2026) + tail.toString();
}

QString tidyCut(const QString& text)
{
    const qsizetype at = text.indexOf(QChar(0x2026));
    if (at < 0)
        return text;
    const bool before = at > 0 && loose(text.at(at - 1));
    const bool after = at + 1 < text.size() && loose(text.at(at + 1));
    if (!before && !after)
        return text;
    return cut(QStringView(text).first(at), QStringView(text).mid(at + 1));
}

} // namespace Fmt
