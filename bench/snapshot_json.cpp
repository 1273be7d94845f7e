#include "snapshot_json.h"

#include <QJsonArray>

namespace {

QJsonValue optional(const std::optional<QString>& v)
{
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonObject procJson(const ProcSample& p)
{
    return QJsonObject{
        {"pid", p.pid}, {"ppid", p.ppid}, {"name", p.name}, {"path", p.path},
        {"groupKey", p.groupKey}, {"groupName", p.groupName}, {"bundlePath", optional(p.bundlePath)},
        {"startTime", p.startTime ? QJsonValue(p.startTime->unix()) : QJsonValue()},
        {"restricted", p.restricted}, {"cpu", p.cpu}, {"mem", qint64(p.mem)},
        {"threads", qint64(p.threads)}, {"fds", qint64(p.fds)}, {"netIn", p.netIn},
        {"netOut", p.netOut}, {"diskRead", p.diskRead}, {"diskWrite", p.diskWrite},
    };
}

QJsonObject groupJson(const GroupSample& g)
{
    QJsonArray members;
    for (const ProcSample& p : g.members)
        members.append(procJson(p));
    return QJsonObject{
        {"key", g.key}, {"name", g.name}, {"bundlePath", optional(g.bundlePath)},
        {"members", members}, {"cpu", g.cpu}, {"mem", qint64(g.mem)},
        {"threads", qint64(g.threads)}, {"fds", qint64(g.fds)}, {"netIn", g.netIn},
        {"netOut", g.netOut}, {"diskRead", g.diskRead}, {"diskWrite", g.diskWrite},
    };
}

QJsonObject systemJson(const SystemSample& s)
{
    QJsonArray cores;
    for (double c : s.cores)
        cores.append(c);
    return QJsonObject{
        {"date", s.date.unix()}, {"cpu", s.cpu}, {"cpuUser", s.cpuUser}, {"cpuSystem", s.cpuSystem},
        {"cores", cores}, {"gpu", s.gpu}, {"load", s.load}, {"memTotal", qint64(s.memTotal)},
        {"memApp", qint64(s.memApp)}, {"memWired", qint64(s.memWired)},
        {"memCompressed", qint64(s.memCompressed)}, {"memCached", qint64(s.memCached)},
        {"swapUsed", qint64(s.swapUsed)}, {"pressure", qint64(s.pressure)}, {"netIn", s.netIn},
        {"netOut", s.netOut}, {"diskRead", s.diskRead}, {"diskWrite", s.diskWrite},
        {"fileCount", qint64(s.fileCount)}, {"fileMax", qint64(s.fileMax)},
        {"threadCount", qint64(s.threadCount)}, {"threadMax", qint64(s.threadMax)},
        {"procCount", qint64(s.procCount)}, {"procMax", qint64(s.procMax)},
        {"topCPU", s.topCPU}, {"topMem", s.topMem}, {"topNet", s.topNet}, {"topDisk", s.topDisk},
    };
}

const char* scopeText(Connection::Scope scope)
{
    switch (scope) {
    case Connection::Scope::lan: return "lan";
    case Connection::Scope::loopback: return "loopback";
    case Connection::Scope::internet: break;
    }
    return "internet";
}

} // namespace

QJsonObject snapshotJson(const Snapshot& snapshot)
{
    QJsonArray groups, connections, listeners;
    for (const GroupSample& g : snapshot.groups)
        groups.append(groupJson(g));
    for (const Connection& c : snapshot.connections)
        connections.append(QJsonObject{
            {"id", c.id}, {"pid", c.pid}, {"remoteHost", c.remoteHost},
            {"remotePort", qint64(c.remotePort)}, {"scope", scopeText(c.scope)},
            {"bytesIn", c.bytesIn}, {"bytesOut", c.bytesOut}, {"rateIn", c.rateIn},
            {"rateOut", c.rateOut}, {"host", optional(c.host)},
        });
    for (const Listener& l : snapshot.listeners)
        listeners.append(QJsonObject{
            {"pid", l.pid}, {"proto", l.proto}, {"port", qint64(l.port)}, {"localOnly", l.localOnly},
        });
    return QJsonObject{
        {"system", systemJson(snapshot.system)}, {"groups", groups}, {"connections", connections},
        {"listeners", listeners}, {"netSerial", qint64(snapshot.netSerial)},
        {"netInterval", snapshot.netInterval}, {"interval", snapshot.interval},
        {"selfCPU", snapshot.selfCPU}, {"selfMem", qint64(snapshot.selfMem)},
    };
}
