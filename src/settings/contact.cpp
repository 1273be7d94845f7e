#include "settings/contact.h"

#include "core/build_info.h"
#include "core/l10n.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString stripAt(const QString& text)
{
    return text.startsWith(QLatin1Char('@')) ? text.mid(1) : text;
}

// A link as it stands, only when it parses with a scheme.
std::optional<QUrl> link(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

// Only a real web link is taken as one: "httpx:…" or "http-ish" is a
// handle like any other.
bool isWebLink(const QString& text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

Contact Contact::decode(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return {};
    const QJsonObject object = document.object();
    Contact result;
    const std::pair<const char*, QString*> fields[] = {
        {"telegram", &result.telegram}, {"email", &result.email},
        {"x", &result.x}, {"github", &result.github}};
    for (const auto& [key, field] : fields) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString())
            return {};
        *field = value.toString();
    }
    return result;
}

const Contact& Contact::shared()
{
    static const Contact contact = [] {
        QFile file(QStringLiteral(":/tavrin/contact.json"));
        if (!file.open(QIODevice::ReadOnly))
            return Contact{};
        return decode(file.read(64 * 1024));
    }();
    return contact;
}

std::vector<Contact::Channel> Contact::channels(const QString& version) const
{
    std::vector<Channel> result;
    auto add = [&](const char* id, const QString& linkText, const char* nameEn, const char* nameZh,
                   const QString& detail, const char* noteEn, const char* noteZh) {
        const auto url = link(linkText);
        if (!url)
            return;
        result.push_back({QString::fromLatin1(id), L10n::text(nameEn, nameZh), detail,
                          L10n::text(noteEn, noteZh), *url});
    };

    if (!telegram.isEmpty()) {
        const QString text = isWebLink(telegram)
            ? telegram
            : QString::fromLatin1(telegramPrefix) + stripAt(telegram);
        const auto url = link(text);
        const QString detail = url && !url->host().isEmpty() ? url->host() + url->path() : telegram;
        add("telegram", text, "Telegram group", "Telegram 群组", detail,
            "Feedback, discussion and development news", "反馈问题、讨论用法、开发动态");
    }
    if (!email.isEmpty()) {
        QByteArray subject = (QStringLiteral("Tavrin ") + version)
                                 .toUtf8()
                                 .toPercentEncoding("!$&'()*+,-./:;=?@_~");
        if (subject.isEmpty())
            subject = "Tavrin";
        const QString text = QStringLiteral("mailto:") + email + QStringLiteral("?subject=")
            + QString::fromLatin1(subject);
        add("email", text, "Email", "邮件", email, "For longer or private feedback",
            "适合较长或不便公开的反馈");
    }
    if (!x.isEmpty()) {
        const QString handle = stripAt(x);
        add("x", QString::fromLatin1(xPrefix) + handle, "X", "X", QStringLiteral("@") + handle,
            "Updates", "更新动态");
    }
    if (!github.isEmpty()) {
        const QString account = stripAt(github);
        add("github", QString::fromLatin1(githubPrefix) + account, "GitHub", "GitHub",
            QString::fromLatin1(githubDomain) + QLatin1Char('/') + account, "Developer profile",
            "开发者主页");
    }
    return result;
}

std::vector<Contact::Channel> Contact::sharedChannels()
{
    return shared().channels(BuildInfo::versionText());
}

std::vector<Contact::Channel> Contact::channelsFrom(const ChannelSource& source)
{
    return source ? source() : sharedChannels();
}
