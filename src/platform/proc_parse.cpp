#include "platform/proc_parse.h"

#include <algorithm>
#include <charconv>

namespace ProcParse {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimLeft(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

// Takes the next blank-separated word off the front of `s`.
std::string_view word(std::string_view& s)
{
    s = trimLeft(s);
    size_t i = 0;
    while (i < s.size() && !isBlank(s[i]))
        ++i;
    std::string_view w = s.substr(0, i);
    s = s.substr(i);
    return w;
}

template <typename T>
bool parseWord(std::string_view& s, T& out)
{
    const std::string_view w = word(s);
    if (w.empty())
        return false;
    auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), out);
    return ec == std::errc() && end == w.data() + w.size();
}

template <typename F>
void eachLine(std::string_view text, F&& f)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        f(text.substr(pos, eol - pos));
        pos = eol + 1;
    }
}

// The rest of the first line starting with `field` followed by blanks or a
// colon (never a longer name that merely begins with it).
std::optional<std::string_view> afterField(std::string_view text, std::string_view field)
{
    std::optional<std::string_view> found;
    eachLine(text, [&](std::string_view line) {
        if (found || line.size() <= field.size() || line.substr(0, field.size()) != field)
            return;
        std::string_view rest = line.substr(field.size());
        size_t i = 0;
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t'))
            ++i;
        if (i < rest.size() && rest[i] == ':')
            ++i;
        else if (i == 0)
            return;
        found = trimLeft(rest.substr(i));
    });
    return found;
}

} // namespace

template <typename T>
std::optional<T> number(std::string_view text)
{
    T v{};
    if (text.empty())
        return std::nullopt;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

template std::optional<int32_t> number<int32_t>(std::string_view);
template std::optional<int64_t> number<int64_t>(std::string_view);
template std::optional<uint64_t> number<uint64_t>(std::string_view);
template std::optional<double> number<double>(std::string_view);

std::optional<PidStat> pidStat(std::string_view text)
{
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    PidStat s;
    std::string_view head = text.substr(0, open);
    if (!parseWord(head, s.pid))
        return std::nullopt;
    s.comm.assign(text.substr(open + 1, close - open - 1));
    std::string_view rest = text.substr(close + 1);
    // Field numbers as in proc(5); field 3 is the state.
    const std::string_view state = word(rest);
    if (state.size() != 1)
        return std::nullopt;
    s.state = state[0];
    int64_t ignored = 0;
    uint64_t uignored = 0;
    if (!parseWord(rest, s.ppid))                // 4
        return std::nullopt;
    for (int f = 5; f <= 8; ++f)                 // pgrp session tty_nr tpgid
        if (!parseWord(rest, ignored))
            return std::nullopt;
    if (!parseWord(rest, s.flags))               // 9
        return std::nullopt;
    if (!parseWord(rest, s.minFaults) || !parseWord(rest, uignored)     // 10, 11 cminflt
        || !parseWord(rest, s.majFaults) || !parseWord(rest, uignored)) // 12, 13 cmajflt
        return std::nullopt;
    if (!parseWord(rest, s.utime) || !parseWord(rest, s.stime)) // 14, 15
        return std::nullopt;
    for (int f = 16; f <= 19; ++f)               // cutime cstime priority nice
        if (!parseWord(rest, ignored))
            return std::nullopt;
    if (!parseWord(rest, s.threads))             // 20
        return std::nullopt;
    if (!parseWord(rest, ignored))               // 21 itrealvalue
        return std::nullopt;
    if (!parseWord(rest, s.startTime))           // 22
        return std::nullopt;
    if (!parseWord(rest, uignored) || !parseWord(rest, s.rssPages)) // 23 vsize, 24
        return std::nullopt;
    return s;
}

Stat stat(std::string_view text)
{
    Stat out;
    eachLine(text, [&](std::string_view line) {
        if (line.size() > 3 && line.substr(0, 3) == "cpu" && line[3] >= '0' && line[3] <= '9') {
            std::string_view rest = line.substr(3);
            CpuTicks t;
            uint64_t v[8] = {};
            if (!parseWord(rest, t.id))
                return;
            // Older kernels stop after idle; missing columns count as 0.
            int n = 0;
            while (n < 8 && parseWord(rest, v[n]))
                ++n;
            if (n < 4)
                return;
            t.user = v[0];
            t.nice = v[1];
            t.system = v[2] + v[5] + v[6] + v[7];
            t.idle = v[3] + v[4];
            out.cores.push_back(t);
        } else if (line.size() > 6 && line.substr(0, 6) == "btime ") {
            std::string_view rest = line.substr(6);
            uint64_t b = 0;
            if (parseWord(rest, b))
                out.bootTime = b;
        }
    });
    return out;
}

std::optional<std::pair<uint64_t, uint64_t>> statm(std::string_view text)
{
    uint64_t size = 0, resident = 0, shared = 0;
    if (!parseWord(text, size) || !parseWord(text, resident) || !parseWord(text, shared))
        return std::nullopt;
    return std::pair{resident, shared};
}

std::optional<uint64_t> kbField(std::string_view text, std::string_view field)
{
    auto rest = afterField(text, field);
    if (!rest)
        return std::nullopt;
    uint64_t v = 0;
    if (!parseWord(*rest, v))
        return std::nullopt;
    if (word(*rest) == "kB")
        v *= 1024;
    return v;
}

std::optional<uint64_t> numberField(std::string_view text, std::string_view field)
{
    auto rest = afterField(text, field);
    uint64_t v = 0;
    if (!rest || !parseWord(*rest, v))
        return std::nullopt;
    return v;
}

std::optional<std::string_view> textField(std::string_view text, std::string_view field)
{
    auto rest = afterField(text, field);
    if (!rest)
        return std::nullopt;
    std::string_view v = *rest;
    while (!v.empty() && isBlank(v.back()))
        v.remove_suffix(1);
    return v;
}

std::optional<Io> io(std::string_view text)
{
    auto r = numberField(text, "read_bytes");
    auto w = numberField(text, "write_bytes");
    if (!r || !w)
        return std::nullopt;
    return Io{*r, *w};
}

std::vector<NetDev> netDev(std::string_view text)
{
    std::vector<NetDev> out;
    eachLine(text, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        std::string_view name = line.substr(0, colon);
        name = trimLeft(name);
        if (name.empty() || name.find('|') != std::string_view::npos)
            return;
        std::string_view rest = line.substr(colon + 1);
        NetDev d;
        d.name.assign(name);
        uint64_t skip = 0;
        if (!parseWord(rest, d.received))
            return;
        for (int i = 0; i < 7; ++i) // packets errs drop fifo frame compressed multicast
            if (!parseWord(rest, skip))
                return;
        if (!parseWord(rest, d.sent))
            return;
        out.push_back(std::move(d));
    });
    return out;
}

Pressure pressure(std::string_view text)
{
    Pressure p;
    eachLine(text, [&](std::string_view line) {
        std::string_view rest = line;
        const std::string_view kind = word(rest);
        std::optional<double>* slot = kind == "some" ? &p.some : kind == "full" ? &p.full : nullptr;
        if (!slot)
            return;
        for (std::string_view w = word(rest); !w.empty(); w = word(rest)) {
            if (w.substr(0, 6) == "avg10=") {
                *slot = number<double>(w.substr(6));
                return;
            }
        }
    });
    return p;
}

std::optional<BlockStat> blockStat(std::string_view text)
{
    uint64_t v[7] = {};
    for (uint64_t& x : v)
        if (!parseWord(text, x))
            return std::nullopt;
    return BlockStat{v[2], v[6]};
}

std::vector<int> cpuList(std::string_view text)
{
    std::vector<int> out;
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view part = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        while (!part.empty() && isBlank(part.back()))
            part.remove_suffix(1);
        part = trimLeft(part);
        const size_t dash = part.find('-');
        auto lo = number<int32_t>(part.substr(0, dash));
        auto hi = dash == std::string_view::npos ? lo : number<int32_t>(part.substr(dash + 1));
        // A bound keeps a corrupt range from allocating without end.
        if (!lo || !hi || *lo < 0 || *hi < *lo || *hi - *lo > 65536)
            continue;
        for (int i = *lo; i <= *hi; ++i)
            out.push_back(i);
    }
    return out;
}

std::optional<uint64_t> firstNumber(std::string_view text)
{
    uint64_t v = 0;
    if (!parseWord(text, v))
        return std::nullopt;
    return v;
}

std::optional<double> firstDouble(std::string_view text)
{
    double v = 0;
    if (!parseWord(text, v))
        return std::nullopt;
    return v;
}

std::string psTime(uint64_t ticks, uint64_t ticksPerSecond)
{
    if (ticksPerSecond == 0)
        ticksPerSecond = 100;
    const uint64_t hundredths = ticks * 100 / ticksPerSecond;
    const uint64_t minutes = hundredths / 6000;
    const unsigned seconds = unsigned(hundredths / 100 % 60);
    const unsigned frac = unsigned(hundredths % 100);
    char buf[48];
    auto [p, ec] = std::to_chars(buf, buf + 24, minutes);
    (void)ec;
    *p++ = ':';
    *p++ = char('0' + seconds / 10);
    *p++ = char('0' + seconds % 10);
    *p++ = '.';
    *p++ = char('0' + frac / 10);
    *p++ = char('0' + frac % 10);
    return std::string(buf, p);
}

} // namespace ProcParse
