#include "platform/memory_info.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <QDir>

#include <charconv>

namespace {

std::optional<uint64_t> parseHex(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    if (text.substr(0, 2) == "0x")
        text.remove_prefix(2);
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return v;
}

std::optional<uint64_t> onlineBlocks(const std::string& root)
{
    const std::string base = root + "/sys/devices/system/memory";
    const auto size = ProcFiles::read(base + "/block_size_bytes");
    const auto blockSize = size ? parseHex(*size) : std::nullopt;
    if (!blockSize || *blockSize == 0)
        return std::nullopt;
    uint64_t online = 0;
    const QStringList blocks = QDir(QString::fromStdString(base)).entryList({QStringLiteral("memory*")}, QDir::Dirs);
    for (const QString& name : blocks) {
        const auto state = ProcFiles::read(base + '/' + name.toStdString() + "/online");
        if (state && state->substr(0, 1) == "1")
            ++online;
    }
    if (online == 0)
        return std::nullopt;
    return online * *blockSize;
}

} // namespace

namespace MemoryInfo {

uint64_t installedMemory(const QString& root)
{
    const std::string r = ProcFiles::normaliseRoot(root.toStdString());
    if (auto blocks = onlineBlocks(r))
        return *blocks;
    const auto meminfo = ProcFiles::read(r + "/proc/meminfo");
    return meminfo ? ProcParse::kbField(*meminfo, "MemTotal").value_or(0) : 0;
}

uint64_t installedMemory()
{
    static const uint64_t bytes = installedMemory(QStringLiteral("/"));
    return bytes;
}

} // namespace MemoryInfo
