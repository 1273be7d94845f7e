#include "platform/memory_info.h"

#include <QDir>
#include <QFile>

#include <charconv>

namespace {

QByteArray readSmall(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(1 << 20);
}

std::optional<uint64_t> parseHex(QByteArray text)
{
    text = text.trimmed();
    if (text.startsWith("0x"))
        text = text.mid(2);
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.constData(), text.constData() + text.size(), v, 16);
    if (ec != std::errc() || end != text.constData() + text.size() || text.isEmpty())
        return std::nullopt;
    return v;
}

std::optional<uint64_t> onlineBlocks(const QString& root)
{
    const QString base = root + QStringLiteral("/sys/devices/system/memory");
    auto blockSize = parseHex(readSmall(base + QStringLiteral("/block_size_bytes")));
    if (!blockSize || *blockSize == 0)
        return std::nullopt;
    QDir dir(base);
    uint64_t online = 0;
    for (const QString& name : dir.entryList({QStringLiteral("memory*")}, QDir::Dirs)) {
        if (readSmall(base + u'/' + name + QStringLiteral("/online")).trimmed() == "1")
            ++online;
    }
    if (online == 0)
        return std::nullopt;
    return online * *blockSize;
}

} // namespace

namespace MemoryInfo {

std::optional<uint64_t> meminfoField(std::string_view text, std::string_view field)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (line.size() <= field.size() || line.substr(0, field.size()) != field
            || line[field.size()] != ':')
            continue;
        std::string_view rest = line.substr(field.size() + 1);
        size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return std::nullopt;
        rest = rest.substr(start);
        uint64_t v = 0;
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v);
        if (ec != std::errc())
            return std::nullopt;
        std::string_view unit = rest.substr(end - rest.data());
        if (unit.find("kB") != std::string_view::npos)
            v *= 1024;
        return v;
    }
    return std::nullopt;
}

uint64_t installedMemory(const QString& root)
{
    if (auto blocks = onlineBlocks(root))
        return *blocks;
    const QByteArray meminfo = readSmall(root + QStringLiteral("/proc/meminfo"));
    return meminfoField(std::string_view(meminfo.constData(), meminfo.size()), "MemTotal")
        .value_or(0);
}

uint64_t installedMemory()
{
    static const uint64_t bytes = installedMemory(QStringLiteral("/"));
    return bytes;
}

} // namespace MemoryInfo
