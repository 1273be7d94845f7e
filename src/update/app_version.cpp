#include "update/app_version.h"

#include <algorithm>

std::optional<AppVersion> AppVersion::parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    AppVersion v;
    for (const QString& piece : trimmed.split(u'.', Qt::KeepEmptyParts)) {
        if (piece.isEmpty())
            return std::nullopt;
        int64_t value = 0;
        for (QChar c : piece) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            const int digit = c.unicode() - u'0';
            if (value > (INT64_MAX - digit) / 10)
                return std::nullopt;
            value = value * 10 + digit;
        }
        v.fields.push_back(value);
    }
    return v;
}

std::optional<AppVersion> AppVersion::parseExact(const QString& text)
{
    if (text.trimmed().size() != text.size())
        return std::nullopt;
    return parse(text);
}

AppVersion AppVersion::with(int64_t build) const
{
    AppVersion key;
    for (int i = 0; i < 3; ++i)
        key.fields.push_back(i < int(fields.size()) ? fields[i] : 0);
    key.fields.push_back(std::max<int64_t>(build, 0));
    return key;
}

bool AppVersion::fitsKey() const
{
    return std::all_of(fields.begin() + std::min<size_t>(fields.size(), 3), fields.end(),
                       [](int64_t f) { return f == 0; });
}

int AppVersion::order(const AppVersion& a, const AppVersion& b)
{
    const size_t n = std::max(a.fields.size(), b.fields.size());
    for (size_t i = 0; i < n; ++i) {
        const int64_t x = i < a.fields.size() ? a.fields[i] : 0;
        const int64_t y = i < b.fields.size() ? b.fields[i] : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QString AppVersion::text() const
{
    QStringList parts;
    for (int64_t f : fields)
        parts << QString::number(f);
    return parts.join(u'.');
}
