#include "platform/sys_machine.h"

#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include <algorithm>

namespace SysMachine {

namespace {

bool startsWith(const std::string& s, std::string_view prefix)
{
    return s.size() >= prefix.size() && std::string_view(s).substr(0, prefix.size()) == prefix;
}

} // namespace

std::vector<std::string> physicalInterfaces(const std::string& root)
{
    const std::string base = root + "/sys/class/net/";
    std::vector<std::string> out;
    for (std::string& name : ProcFiles::list(base)) {
        if (name != "lo" && ProcFiles::exists(base + name + "/device"))
            out.push_back(std::move(name));
    }
    return out;
}

std::vector<std::string> physicalDisks(const std::string& root)
{
    const std::string base = root + "/sys/block/";
    std::vector<std::string> out;
    for (std::string& name : ProcFiles::list(base)) {
        if (startsWith(name, "loop") || startsWith(name, "ram") || startsWith(name, "zram"))
            continue;
        if (ProcFiles::exists(base + name + "/device"))
            out.push_back(std::move(name));
    }
    return out;
}

std::optional<std::pair<uint64_t, uint64_t>> diskBytes(const std::string& root)
{
    const std::vector<std::string> disks = physicalDisks(root);
    if (disks.empty())
        return std::nullopt;
    uint64_t read = 0, written = 0;
    std::string text;
    for (const std::string& d : disks) {
        if (!ProcFiles::read(root + "/sys/block/" + d + "/stat", text))
            continue;
        if (auto s = ProcParse::blockStat(text)) {
            read += s->sectorsRead * 512;
            written += s->sectorsWritten * 512;
        }
    }
    return std::pair{read, written};
}

double gpuBusy(const std::string& root)
{
    const std::string base = root + "/sys/class/drm/";
    double best = 0;
    std::string text;
    for (const std::string& name : ProcFiles::list(base)) {
        // card0, card1…; connectors such as card0-DP-1 have no device figures.
        if (!startsWith(name, "card") || name.find('-') != std::string::npos)
            continue;
        if (!ProcFiles::read(base + name + "/device/gpu_busy_percent", text))
            continue;
        if (auto v = ProcParse::firstNumber(text))
            best = std::max(best, std::min<double>(double(*v), 100) / 100);
    }
    return best;
}

uint64_t zramUsed(const std::string& root)
{
    const std::string base = root + "/sys/block/";
    uint64_t sum = 0;
    std::string text;
    for (const std::string& name : ProcFiles::list(base)) {
        if (!startsWith(name, "zram") || !ProcFiles::read(base + name + "/mm_stat", text))
            continue;
        // orig_data_size compr_data_size mem_used_total …
        std::string_view rest = text;
        for (int i = 0; i < 3 && !rest.empty(); ++i) {
            const size_t start = rest.find_first_not_of(" \t\n");
            if (start == std::string_view::npos)
                break;
            rest = rest.substr(start);
            const size_t gap = std::min(rest.find_first_of(" \t\n"), rest.size());
            if (i == 2) {
                if (auto v = ProcParse::number<uint64_t>(rest.substr(0, gap)))
                    sum += *v;
            }
            rest = rest.substr(gap);
        }
    }
    return sum;
}

std::vector<bool> efficiencyCores(const std::string& root, const std::vector<int>& cpus)
{
    std::vector<bool> out(cpus.size(), false);
    if (auto atom = ProcFiles::read(root + "/sys/devices/cpu_atom/cpus")) {
        const std::vector<int> e = ProcParse::cpuList(*atom);
        for (size_t i = 0; i < cpus.size(); ++i)
            out[i] = std::find(e.begin(), e.end(), cpus[i]) != e.end();
        return out;
    }
    std::vector<std::optional<uint64_t>> capacity(cpus.size());
    uint64_t greatest = 0;
    for (size_t i = 0; i < cpus.size(); ++i) {
        if (auto t = ProcFiles::read(root + "/sys/devices/system/cpu/cpu" + std::to_string(cpus[i])
                                     + "/cpu_capacity"))
            capacity[i] = ProcParse::firstNumber(*t);
        if (capacity[i])
            greatest = std::max(greatest, *capacity[i]);
    }
    for (size_t i = 0; i < cpus.size(); ++i)
        out[i] = capacity[i] && *capacity[i] < greatest;
    return out;
}

} // namespace SysMachine
