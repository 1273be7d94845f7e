#include "engine/demo_tables.h"

namespace {

using K = GroupKind;
using S = Connection::Scope;
using T = Traffic;

Role role(const QString& name, int count, double cpu, double memMB, int threads, int fds,
          double read, double write, double swing = 0.35)
{
    return Role{name, count, cpu, memMB, threads, fds, read, write, swing};
}

// A system group: one restricted role that reports no threads, descriptors or disk.
GroupSpec sys(const QString& name, double cpu, double memMB, double swing = 0.35)
{
    return GroupSpec{name, K::system, {role(name, 1, cpu, memMB, 0, 0, 0, 0, swing)}};
}

// A group whose only role bears the group's name.
GroupSpec one(const QString& name, GroupKind kind, int count, double cpu, double memMB,
              int threads, int fds, double read, double write, double swing = 0.35)
{
    return GroupSpec{name, kind, {role(name, count, cpu, memMB, threads, fds, read, write, swing)}};
}

std::vector<GroupSpec> buildGroups()
{
    return {
        sys(QString::fromUtf16(DemoTables::kernelName), 8, 1900),
        sys(QString::fromUtf16(DemoTables::initName), 0.4, 28),
        sys("systemd-journald", 0.6, 48),
        sys("systemd-udevd", 0.1, 14),
        sys("systemd-logind", 0.05, 10),
        sys("tracker-miner-fs-3", 1.8, 160, 0.5),
        sys("tracker-extract-3", 3.2, 420, 0.6),
        sys("Xorg", 21, 1150),
        sys("pipewire", 2.5, 30),
        sys("bluetoothd", 0.1, 8),
        sys("avahi-daemon", 0.2, 9),
        sys("NetworkManager", 0.3, 22),
        sys("polkitd", 0.1, 12),
        sys("gnome-remote-desktop-daemon", 0.05, 18),
        one("nautilus", K::agent, 1, 1.2, 210, 14, 120, 20, 5, 0.5),
        one("plank", K::agent, 1, 0.8, 90, 8, 40, 0, 0, 0.4),
        one("rygel", K::agent, 1, 0.3, 48, 9, 60, 0, 0),
        one("syncd", K::daemon, 1, 3, 150, 16, 210, 150, 30),
        one("metricsd", K::daemon, 1, 0.4, 36, 6, 24, 0, 12),
        one("snapshotter", K::daemon, 1, 0.2, 52, 4, 20, 40, 120, 0.6),
        one("db-server", K::daemon, 5, 1.5, 260, 6, 64, 120, 480),
        one("cache-server", K::daemon, 1, 0.8, 120, 5, 140, 0, 60),
        {"Mail", K::app, {role("Mail", 1, 1.5, 380, 28, 180, 10, 20),
                          role("Mail Helper", 2, 0.3, 90, 8, 30, 0, 0)}},
        one("Calendar", K::app, 1, 0.2, 140, 12, 60, 0, 0),
        one("Notes", K::app, 1, 0.3, 160, 12, 70, 0, 2),
        one("Messages", K::app, 1, 0.5, 210, 18, 90, 0, 4),
        {"Password Vault", K::app, {role("Password Vault", 1, 0.3, 180, 16, 80, 0, 0),
                                    role("Password Vault Helper", 1, 0.1, 48, 6, 24, 0, 0)}},
        {"Cloud Sync", K::app, {role("Cloud Sync", 1, 1.2, 310, 26, 260, 10, 40),
                                role("Cloud Sync Helper", 2, 0.4, 70, 8, 40, 20, 20)}},
        {"Photos", K::app, {role("Photos", 1, 0.6, 420, 20, 110, 30, 0),
                            role("photo-analysis", 1, 11, 880, 12, 70, 900, 0, 0.6)}},
        {"Browser", K::app, {role("Browser", 1, 5.5, 640, 44, 410, 20, 60),
                             role("Browser Helper (GPU)", 1, 8, 520, 26, 130, 0, 0),
                             role("Browser Helper (Renderer)", 24, 1.4, 230, 19, 62, 0, 0, 0.6),
                             role("Browser Helper", 6, 0.2, 64, 9, 38, 0, 0)}},
        {"Music", K::app, {role("Music", 1, 1.0, 260, 24, 120, 40, 0),
                           role("Music Helper", 1, 0.4, 60, 7, 30, 0, 0)}},
        {"Containers", K::app, {role("Containers", 1, 2.0, 380, 30, 160, 0, 10),
                                role("Containers Helper", 2, 0.8, 140, 12, 70, 0, 0),
                                role("vm-runner", 1, 30, 5200, 34, 96, 300, 800, 0.5)}},
        one("Database", K::app, 1, 0.8, 320, 20, 110, 20, 0),
        {"Design Studio", K::app, {role("Design Studio", 1, 7, 1450, 36, 240, 0, 0),
                                   role("Design Studio Helper (GPU)", 1, 6, 640, 18, 60, 0, 0),
                                   role("Design Studio Helper (Renderer)", 3, 2.4, 380, 17, 50, 0, 0, 0.5)}},
        one("PDF Reader", K::app, 1, 0.2, 190, 10, 50, 10, 0),
        one("Whiteboard", K::app, 1, 0.4, 230, 14, 70, 0, 0),
        {"Editor", K::app, {role("Editor", 1, 3.5, 520, 32, 260, 30, 20, 0.5),
                            role("Editor Helper (Renderer)", 3, 2.0, 340, 18, 60, 0, 0, 0.5),
                            role("Editor Helper (Plugin)", 2, 1.8, 420, 14, 110, 60, 20, 0.6),
                            role("lang-server", 2, 6, 760, 16, 90, 0, 0, 0.7)}},
        one(QString::fromUtf16(DemoTables::terminalName), K::app, 1, 1.2, 180, 8, 90, 0, 0),
        one(QString::fromUtf16(DemoTables::shellName), K::tool, 6, 0.02, 6, 1, 12, 0, 0),
        one("tunnel-client", K::tool, 1, 0.3, 18, 3, 20, 0, 0),
        one("log-tail", K::tool, 1, 0.4, 12, 2, 16, 0, 0),
        one("file-watcher", K::tool, 1, 0.5, 36, 5, 320, 0, 0),
        one("dev-server", K::tool, 2, 3.0, 420, 12, 140, 30, 10, 0.6),
        one("web-bundler", K::tool, 1, 5.0, 520, 14, 240, 200, 120, 0.7),
        one("api-gateway", K::tool, 1, 1.6, 160, 12, 120, 0, 20),
        one("queue-worker", K::tool, 4, 1.2, 110, 6, 40, 0, 10, 0.5),
        one("type-checker", K::tool, 1, 16, 1300, 10, 80, 0, 0, 0.8),
        one("indexer", K::tool, 1, 14, 620, 18, 340, 1500, 300, 0.7),
        {"Simulator", K::app, {role("Simulator", 1, 4.5, 680, 30, 180, 40, 20),
                               role("sim-runtime", 7, 1.0, 120, 10, 40, 20, 10, 0.5)}},
        {"Video Call", K::app, {role("Video Call", 1, 18, 520, 46, 220, 0, 0),
                                role("Video Call Helper", 2, 3.5, 260, 16, 70, 0, 0)}},
        one("render-worker", K::tool, 4, 18, 980, 12, 60, 0, 700, 0.6),
        one("buildd", K::tool, 1, 1.5, 140, 8, 90, 40, 60),
        one("build-worker", K::tool, 8, 9, 340, 6, 48, 300, 700, 0.9),
        one("test-runner", K::tool, 3, 7.0, 480, 10, 60, 80, 120, 0.8),
        one("pkg-fetch", K::tool, 1, 2.0, 90, 6, 50, 0, 400, 0.6),
        {"Screen Recorder", K::app, {role("Screen Recorder", 1, 9, 280, 20, 110, 0, 900),
                                     role("Screen Recorder Helper", 1, 2.0, 160, 10, 50, 0, 0)}},
        one(QString::fromUtf16(DemoTables::selfName), K::app, 1, 2.8, 84, 11, 48, 0, 0),
    };
}

LinkSpec link(const QString& owner, const char* host, const QString& address, int port, S scope,
              double rateIn, double rateOut, T traffic)
{
    return LinkSpec{owner, host ? std::optional<QString>(QString::fromLatin1(host)) : std::nullopt,
                    address, port, scope, rateIn, rateOut, traffic};
}

// Remote names lie under reserved documentation domains; a site is the last
// two labels, so flows of one service share a site.
std::vector<LinkSpec> buildLinks()
{
    const QString agent = QString::fromUtf16(DemoTables::agentName);
    return {
        link("Browser", "api.example.com", "192.0.2.10", 443, S::internet, 46, 6, T::steady),
        link("Browser", "media.video.example", "198.51.100.21", 443, S::internet, 180, 4, T::bursty),
        link("Browser", "cdn.stream.example", "203.0.113.77", 443, S::internet, 900, 22, T::steady),
        link("Browser", "edge.search.example", "2001:db8:4::1f", 443, S::internet, 30, 1, T::steady),
        link("Browser", "ocsp.certs.example", "192.0.2.52", 443, S::internet, 3, 2, T::steady),
        link("Browser", "ads.tracker.example", "203.0.113.40", 443, S::internet, 0, 0, T::idle),
        link("Browser", "sync.account.example", "198.51.100.34", 443, S::internet, 0, 0, T::idle),
        link("Mail", "imap.mail.example", "198.51.100.143", 993, S::internet, 1.2, 0.4, T::steady),
        link("Mail", "smtp.mail.example", "198.51.100.144", 587, S::internet, 0, 0, T::idle),
        link("Calendar", "caldav.account.example", "2001:db8:10::25", 443, S::internet, 0, 0, T::idle),
        link("Notes", "notes.cloud.example", "203.0.113.118", 443, S::internet, 0, 0, T::idle),
        link("Messages", "push.chat.example", "203.0.113.9", 5223, S::internet, 0.3, 0.2, T::steady),
        link("Music", "audio.music.example", "198.51.100.88", 443, S::internet, 42, 1, T::steady),
        link("Video Call", "media.meet.example", "192.0.2.200", 443, S::internet, 420, 380, T::steady),
        link("Video Call", "signal.meet.example", "192.0.2.201", 443, S::internet, 2, 0, T::steady),
        link("Photos", "photos.cloud.example", "203.0.113.119", 443, S::internet, 2, 55, T::steady),
        link("Design Studio", "assets.design.example", "198.51.100.170", 443, S::internet, 12, 3, T::steady),
        link("Design Studio", "api.design.example", "198.51.100.171", 443, S::internet, 2, 2, T::steady),
        link("Editor", "update.example.net", "192.0.2.130", 443, S::internet, 0, 0, T::idle),
        link("Editor", "git.example.org", "192.0.2.77", 22, S::internet, 0, 0, T::idle),
        link("Containers", "registry.containers.example", "2001:db8:c0::8", 443, S::internet, 0, 0, T::idle),
        link("pkg-fetch", "mirror.packages.example", "192.0.2.99", 443, S::internet, 60, 2, T::bursty),
        link("metricsd", "beacon.telemetry.example", "198.51.100.61", 443, S::internet, 1.2, 6, T::beacon),
        link("Cloud Sync", "sync.cloud.example", "203.0.113.120", 443, S::internet, 8, 30, T::steady),
        link("Cloud Sync", "dl.cloud.example", "203.0.113.121", 443, S::internet, 0, 0, T::download),
        link(agent, "api.agent.example", "198.51.100.200", 443, S::internet, 14, 9, T::steady),
        link("syncd", "nas.local", "10.0.1.20", 445, S::lan, 20, 140, T::steady),
        link("nautilus", "nas.local", "10.0.1.20", 445, S::lan, 0, 0, T::idle),
        link("tunnel-client", "devbox.local", "10.0.1.42", 22, S::lan, 3, 2, T::steady),
        link("Music", "speaker.local", "10.0.1.63", 7000, S::lan, 0.5, 38, T::steady),
        link("PDF Reader", "printer.local", "10.0.1.70", 631, S::lan, 0, 0, T::idle),
        link("test-runner", "ci.local", "10.0.2.15", 8443, S::lan, 6, 4, T::steady),
        link("Browser", nullptr, "127.0.0.1", 5173, S::loopback, 12, 1, T::steady),
        link("Browser", nullptr, "127.0.0.1", 3000, S::loopback, 2, 0.5, T::steady),
        link("dev-server", nullptr, "127.0.0.1", 5432, S::loopback, 5, 2, T::steady),
        link("api-gateway", nullptr, "127.0.0.1", 6379, S::loopback, 1, 1, T::steady),
        link("queue-worker", nullptr, "127.0.0.1", 6379, S::loopback, 0.8, 0.6, T::steady),
        link("Editor", nullptr, "127.0.0.1", 6009, S::loopback, 2, 2, T::steady),
        link("Editor", nullptr, "127.0.0.1", 9229, S::loopback, 0, 0, T::idle),
        link("Database", nullptr, "127.0.0.1", 5432, S::loopback, 0, 0, T::idle),
        link("test-runner", nullptr, "127.0.0.1", 8080, S::loopback, 9, 3, T::steady),
    };
}

std::vector<ListenerSpec> buildListeners()
{
    return {
        {QString::fromUtf16(DemoTables::initName), "TCP", 22, false},
        {"rygel", "TCP", 5000, false},
        {"rygel", "TCP", 7000, false},
        {"gnome-remote-desktop-daemon", "TCP", 5900, false},
        {"avahi-daemon", "UDP", 5353, false},
        {"syncd", "TCP", 22000, false},
        {"dev-server", "TCP", 3000, true},
        {"web-bundler", "TCP", 5173, true},
        {"db-server", "TCP", 5432, true},
        {"cache-server", "TCP", 6379, true},
        {"api-gateway", "TCP", 8080, false},
        {"api-gateway", "TCP", 8443, false},
        {"lang-server", "TCP", 6009, true},
        {"Editor Helper (Plugin)", "TCP", 9229, true},
        {"Containers", "TCP", 6443, true},
        {"buildd", "TCP", 9090, true},
        {"indexer", "TCP", 7700, true},
        {"metricsd", "TCP", 9100, true},
        {"Design Studio", "TCP", 44950, true},
    };
}

} // namespace

namespace DemoTables {

const std::vector<GroupSpec>& groups()
{
    static const std::vector<GroupSpec> table = buildGroups();
    return table;
}

const std::vector<LinkSpec>& links()
{
    static const std::vector<LinkSpec> table = buildLinks();
    return table;
}

const std::vector<ListenerSpec>& listeners()
{
    static const std::vector<ListenerSpec> table = buildListeners();
    return table;
}

} // namespace DemoTables
