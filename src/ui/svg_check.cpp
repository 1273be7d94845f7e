#include "ui/svg_check.h"

#include <QBuffer>
#include <QImageReader>
#include <QUrl>
#include <QXmlStreamReader>

namespace SvgCheck {

namespace {

// The payload of a data: URL, decoded as the renderer decodes it; nothing
// when it is not one.
std::optional<QByteArray> dataPayload(QStringView href)
{
    const QUrl url(href.toString());
    if (url.scheme() != QLatin1String("data") || !url.host().isEmpty())
        return std::nullopt;
    QByteArray data = QByteArray::fromPercentEncoding(
        url.url(QUrl::FullyEncoded | QUrl::RemoveScheme).toLatin1());
    const qsizetype comma = data.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    QByteArray payload = data.mid(comma + 1);
    if (data.left(comma).trimmed().toLower().endsWith(";base64"))
        payload = QByteArray::fromBase64(payload);
    return payload;
}

// A picture the renderer decodes in place. A nested SVG would be drawn by
// a renderer of its own, with no check; one that fails to decode sends the
// renderer to a file of the URL's name.
bool embeddedPicture(QStringView href)
{
    const auto payload = dataPayload(href);
    if (!payload || payload->isEmpty())
        return false;
    QBuffer buffer;
    buffer.setData(*payload);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty() || format.startsWith("svg"))
        return false;
    QImageReader reader(&buffer, format);
    return !reader.read().isNull();
}

QStringView localName(QStringView qualified)
{
    const qsizetype colon = qualified.lastIndexOf(u':');
    return colon < 0 ? qualified : qualified.sliced(colon + 1);
}

} // namespace

bool selfContained(const QByteArray& svg)
{
    if (svg.startsWith("\x1f\x8b"))
        return false;
    // Read as the renderer reads it, so both see the same tokens, up to
    // the end or the first error, where both stop.
    QXmlStreamReader xml(svg);
    xml.setNamespaceProcessing(false);
    int depth = 0;
    bool whole = false; // the root element has ended
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget().compare(QLatin1String("xml-stylesheet"), Qt::CaseInsensitive) == 0)
                return false;
            break;
        case QXmlStreamReader::StartElement: {
            ++depth;
            const bool image = localName(xml.qualifiedName()) == QLatin1String("image");
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (localName(attribute.qualifiedName()) != QLatin1String("href"))
                    continue;
                const QStringView href = attribute.value().trimmed();
                if (image ? !embeddedPicture(href) : !href.startsWith(u'#'))
                    return false;
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            whole = --depth == 0 || whole;
            break;
        default: break;
        }
    }
    // Trailing text after a whole document is an error the renderer meets
    // there too, having drawn nothing from it.
    return whole;
}

} // namespace SvgCheck
