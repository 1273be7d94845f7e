#include "engine/net_top.h"

#include "platform/nettop_producer.h"
#include "platform/run_command.h"
#include "platform/uptime.h"

#include <QSet>

#include <pthread.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <optional>
#include <thread>

namespace {

double number(QStringView text)
{
    // Counters are plain digits; anything else takes the general reader.
    if (!text.isEmpty() && text.size() <= 15) {
        double v = 0;
        bool digits = true;
        for (QChar c : text) {
            if (c < u'0' || c > u'9') {
                digits = false;
                break;
            }
            v = v * 10 + (c.unicode() - u'0');
        }
        if (digits)
            return v;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

// Plain decimal digits only; no sign, no spaces.
std::optional<int64_t> decimal(QStringView text, int64_t max)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    int64_t v = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int64_t digit = c.unicode() - u'0';
        if (v > (max - digit) / 10) // checked before it could overflow
            return std::nullopt;
        v = v * 10 + digit;
    }
    return v;
}

} // namespace

const QStringList NetTop::arguments{"-L", "1", "-x", "-n", "-J", "state,bytes_in,bytes_out"};

// The thread's state outlives the reader: a tool run cannot be interrupted,
// so destroying the reader only cuts the link and lets the thread finish on
// its own instead of waiting for it. The producer lives here for the same
// reason, and only the reader's thread touches it once started.
struct NetTop::Worker {
    std::mutex ownerLock;
    NetTop* owner = nullptr;
    QString tool;
    std::unique_ptr<nettop::Producer> producer;
    std::mutex wakeLock;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;

    QString produce()
    {
        if (!producer)
            return runCommand(tool, arguments);
        try {
            const std::string text = producer->poll();
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        } catch (const std::exception&) {
            return {};   // out of memory: an empty reading, as from a failed tool
        }
    }

    static void run(std::shared_ptr<Worker> w)
    {
        pthread_setname_np(pthread_self(), "tavrin.nettop");
        auto next = std::chrono::steady_clock::now();
        for (;;) {
            const QString output = w->produce();
            const double now = uptime();
            {
                std::lock_guard guard(w->ownerLock);
                if (!w->owner)
                    return;
                w->owner->ingest(output, now);
            }
            next = std::max(next + std::chrono::seconds(2), std::chrono::steady_clock::now());
            std::unique_lock l(w->wakeLock);
            if (w->wake.wait_until(l, next, [&] { return w->stop; }))
                return;
        }
    }
};

NetTop::NetTop(QString tool)
    : worker(std::make_shared<Worker>())
{
    if (tool.isEmpty())
        worker->producer = std::make_unique<nettop::Producer>();
    else
        worker->tool = std::move(tool);
}

NetTop::~NetTop()
{
    if (!worker->thread.joinable())
        return;
    {
        std::lock_guard guard(worker->ownerLock);
        worker->owner = nullptr;
    }
    {
        std::lock_guard guard(worker->wakeLock);
        worker->stop = true;
    }
    worker->wake.notify_all();
    worker->thread.detach();
}

void NetTop::start()
{
    if (worker->thread.joinable())
        return;
    worker->owner = this;
    worker->thread = std::thread(&Worker::run, worker);
}

void NetTop::poll()
{
    const QString output = worker->produce();
    ingest(output, uptime());
}

void NetTop::ingest(const QString& output, double now)
{
    const double dt = now - prevTime;
    const bool valid = dt > 0 && prevTime > 0;

    Reading next;
    decltype(prevProcess) nextProcess;
    decltype(prevFlow) nextFlow;
    nextFlow.reserve(prevFlow.size());
    next.connections.reserve(static_cast<size_t>(prevFlow.size()));
    QSet<QString> listenerKeys;
    int32_t current = -1;

    const QStringView text(output);
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        const QStringView line = text.sliced(start, end - start);
        start = end + 1;

        QStringView fields[4];
        qsizetype count = 0;
        for (qsizetype at = 0; count < 4;) {
            const qsizetype comma = line.indexOf(u',', at);
            fields[count++] = line.sliced(at, (comma < 0 ? line.size() : comma) - at);
            if (comma < 0)
                break;
            at = comma + 1;
        }
        if (count < 4)
            continue;
        const QStringView ident = fields[0];
        const QStringView state = fields[1];
        const double in = number(fields[2]);
        const double out = number(fields[3]);

        const bool flow = ident.contains(u"<->") && ident.size() >= 6
            && (ident.startsWith(u"tcp") || ident.startsWith(u"udp"));
        if (!flow) {
            const auto dot = ident.lastIndexOf(u'.');
            if (dot < 0)
                continue;
            const auto pid = decimal(ident.mid(dot + 1), std::numeric_limits<int32_t>::max());
            if (!pid)
                continue;
            current = static_cast<int32_t>(*pid);
            nextProcess[current] = {in, out};
            if (valid) {
                if (auto it = prevProcess.find(current); it != prevProcess.end()) {
                    const double rin = std::max(0.0, in - it->second.first) / dt;
                    const double rout = std::max(0.0, out - it->second.second) / dt;
                    if (rin > 0 || rout > 0)
                        next.rates[current] = {rin, rout};
                }
            }
            continue;
        }
        if (current < 0)
            continue;

        const bool v6 = ident[3] == u'6';
        const QString proto = ident.startsWith(u"tcp") ? QStringLiteral("TCP") : QStringLiteral("UDP");
        const auto arrow = ident.indexOf(u"<->");
        const QStringView localText = arrow > 5 ? ident.mid(5, arrow - 5) : QStringView();
        const Endpoint local = endpoint(localText, v6);
        const Endpoint remote = endpoint(ident.mid(arrow + 3), v6);

        if (remote.host == u"*") {
            const int64_t port = local.port;
            if (port < 1)
                continue;
            if (state != u"Listen" && (proto == u"TCP" || port >= 49152))
                continue;
            const bool localOnly = local.host.startsWith(u"127.") || local.host == u"::1";
            const QString key = QString::number(current) + u'.' + proto + u'.' + QString::number(port);
            if (!listenerKeys.contains(key)) {
                listenerKeys.insert(key);
                next.listeners.push_back(Listener{current, proto, port, localOnly});
            } else if (!localOnly) {
                for (Listener& l : next.listeners) {
                    if (l.pid == current && l.proto == proto && l.port == port) {
                        l.localOnly = false;
                        break;
                    }
                }
            }
            continue;
        }

        Connection c;
        c.id = QString::number(current) + u' ' + ident.toString();
        nextFlow[c.id] = {in, out};
        c.pid = current;
        c.remoteHost = remote.host;
        c.remotePort = remote.port;
        c.scope = scope(remote.host);
        c.bytesIn = in;
        c.bytesOut = out;
        if (valid) {
            if (auto it = prevFlow.constFind(c.id); it != prevFlow.constEnd()) {
                c.rateIn = std::max(0.0, in - it->first) / dt;
                c.rateOut = std::max(0.0, out - it->second) / dt;
            }
        }
        next.connections.push_back(std::move(c));
    }

    prevProcess = std::move(nextProcess);
    prevFlow = std::move(nextFlow);
    prevTime = now;
    serial += 1;
    next.serial = serial;
    next.interval = valid ? dt : 2.0;

    std::lock_guard guard(lock);
    latest = std::move(next);
}

NetTop::Endpoint NetTop::endpoint(QStringView text, bool v6)
{
    const auto sep = text.lastIndexOf(v6 ? u'.' : u':');
    if (sep < 0)
        return {text.toString(), 0};
    QStringView host = text.left(sep);
    if (const auto zone = host.indexOf(u'%'); zone >= 0)
        host = host.left(zone);
    const auto port = decimal(text.mid(sep + 1), std::numeric_limits<int64_t>::max() / 10);
    return {host.toString(), port.value_or(0)};
}

Connection::Scope NetTop::scope(QStringView address)
{
    if (address.startsWith(u"127.") || address == u"::1")
        return Connection::Scope::loopback;
    for (const char16_t* prefix : {u"10.", u"192.168.", u"169.254.", u"fe80:", u"fd", u"fc"})
        if (address.startsWith(prefix))
            return Connection::Scope::lan;
    if (address.startsWith(u"172.")) {
        const auto parts = address.split(u'.');
        if (parts.size() > 1) {
            const auto second = decimal(parts[1], 1000);
            if (second && *second >= 16 && *second <= 31)
                return Connection::Scope::lan;
        }
    }
    return Connection::Scope::internet;
}
