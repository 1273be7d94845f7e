#include "platform/locale.h"

#include <cstdlib>

namespace {

// "zh_CN.UTF-8@stroke" -> "zh-CN"; empty for the C locale.
QString tagOf(QString name)
{
    name = name.trimmed();
    if (int at = name.indexOf(u'@'); at >= 0)
        name.truncate(at);
    if (int dot = name.indexOf(u'.'); dot >= 0)
        name.truncate(dot);
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return {};
    name.replace(u'_', u'-');
    return name;
}

} // namespace

namespace Locale {

QStringList preferredLanguages(const Getenv& getenv)
{
    QStringList tags;
    // LANGUAGE only counts when a real locale is set; gettext ignores it
    // under "C".
    QString locale;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = getenv(var);
        if (!locale.isEmpty())
            break;
    }
    if (!tagOf(locale).isEmpty()) {
        for (const QString& part : getenv("LANGUAGE").split(u':', Qt::SkipEmptyParts)) {
            QString tag = tagOf(part);
            if (!tag.isEmpty() && !tags.contains(tag))
                tags << tag;
        }
    }
    if (QString tag = tagOf(locale); !tag.isEmpty() && !tags.contains(tag))
        tags << tag;
    return tags;
}

QStringList preferredLanguages()
{
    return preferredLanguages([](const char* name) {
        const char* v = std::getenv(name);
        return v ? QString::fromLocal8Bit(v) : QString();
    });
}

} // namespace Locale
