#include "ui/plain_text.h"

namespace PlainText {

QString toolTip(const QString& text)
{
    if (text.isEmpty())
        return text;
    // The leading <qt> makes Qt take the text as rich text without guessing;
    // the escaped body then holds no tag, and white-space:pre keeps its lines.
    return QStringLiteral("<qt><span style=\"white-space:pre-wrap\">") + text.toHtmlEscaped()
        + QStringLiteral("</span></qt>");
}

QString menuTitle(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return out;
}

} // namespace PlainText
