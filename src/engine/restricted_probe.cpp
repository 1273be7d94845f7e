#include "engine/restricted_probe.h"

#include "platform/proc_parse.h"
#include "platform/ps_producer.h"
#include "platform/serial_queue.h"
#include "platform/uptime.h"

#include <algorithm>
#include <chrono>
#include <cmath>

RestrictedProbe::RestrictedProbe(const std::string& root)
    : producer_(std::make_unique<PsProducer>(root, PsProducer::Scope::unreadableOnly))
{
}

RestrictedProbe::~RestrictedProbe() = default;

void RestrictedProbe::start()
{
    if (queue_)
        return;
    // First poll at once, then every 2 s; an overrun poll is not made up
    // by polls back to back, whose CPU figures would be mostly rounding.
    queue_ = std::make_unique<SerialQueue>("tavrin.ps");
    queue_->startTimer(std::chrono::seconds(2), [this] { poll(); });
}

void RestrictedProbe::poll()
{
    // In-process: the listing reads only /proc/PID/stat and io, which the
    // process tick reads on its own thread anyway, so it risks no hang that
    // the sampler would not share. Only processes whose usage the sampler
    // cannot read itself are listed: it uses the reading for no others. A
    // listing that fails is "" and empties `latest`.
    update(producer_->poll(), uptime());
}

double RestrictedProbe::parseTime(std::string_view text)
{
    double days = 0;
    if (const size_t dash = text.find('-'); dash != std::string_view::npos) {
        days = ProcParse::number<double>(text.substr(0, dash)).value_or(0);
        text = text.substr(dash + 1);
    }
    double seconds = 0;
    while (!text.empty()) {
        const size_t colon = text.find(':');
        const std::string_view piece = text.substr(0, colon);
        text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
        if (piece.empty())
            continue;
        seconds = seconds * 60 + ProcParse::number<double>(piece).value_or(0);
    }
    // "inf", "nan" and absurd exponents are not times.
    const double total = days * 86400 + seconds;
    return std::isfinite(total) && total >= 0 ? total : 0;
}

std::optional<RestrictedProbe::Line> RestrictedProbe::parseLine(std::string_view line)
{
    std::string_view fields[3];
    int n = 0;
    size_t pos = 0;
    while (pos < line.size()) {
        if (line[pos] == ' ') {
            ++pos;
            continue;
        }
        const size_t end = std::min(line.find(' ', pos), line.size());
        if (n == 3)
            return std::nullopt;
        fields[n++] = line.substr(pos, end - pos);
        pos = end;
    }
    if (n != 3)
        return std::nullopt;
    const auto pid = ProcParse::number<int32_t>(fields[0]);
    const auto rss = ProcParse::number<uint64_t>(fields[2]);
    if (!pid || !rss)
        return std::nullopt;
    return Line{*pid, parseTime(fields[1]), *rss};
}

void RestrictedProbe::update(std::string_view output, double now)
{
    const double dt = now - prevTime;
    std::unordered_map<int32_t, double> seconds;
    Usage next;
    while (!output.empty()) {
        const size_t eol = output.find('\n');
        const std::string_view text = output.substr(0, eol);
        output = eol == std::string_view::npos ? std::string_view{} : output.substr(eol + 1);
        const auto line = parseLine(text);
        if (!line)
            continue;
        seconds[line->pid] = line->seconds;
        double cpu = 0;
        if (auto p = prevSeconds.find(line->pid); p != prevSeconds.end() && prevTime > 0 && dt > 0)
            cpu = std::max(0.0, line->seconds - p->second) / dt * 100;
        // Sizes beyond 2^54 KiB cannot be real; saturate rather than wrap.
        const uint64_t mem = line->rssKiB > (UINT64_MAX >> 10) ? UINT64_MAX : line->rssKiB << 10;
        next[line->pid] = {cpu, mem};
    }
    prevSeconds = std::move(seconds);
    prevTime = now;
    std::lock_guard guard(lock);
    latest.swap(next);
}
