#include "core/l10n.h"
#include "settings/diagnostics.h"

#include <gtest/gtest.h>

namespace {

Diagnostics::Facts facts()
{
    Diagnostics::Facts f;
    f.versionText = QStringLiteral("1.4.0 (57)");
    f.location = QStringLiteral("build");
    f.kernel = QStringLiteral("6.1.0");
    f.distribution = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    f.host.chip = QStringLiteral("Ryzen 7");
    f.host.coreKinds = {CoreKind::performance, CoreKind::performance, CoreKind::efficiency};
    f.now = Date{10000};
    f.launched = Date{10000 - 3599};
    f.host.bootTime = Date{10000 - 3600};
    f.sampleDate = Date{10000 - 0.5};
    f.mode = QStringLiteral("table");
    f.snapshot.system.memTotal = uint64_t(16) << 30;
    f.snapshot.selfCPU = 99.96;
    f.defaults = Thresholds::forMemory(uint64_t(16) << 30);
    f.prefs.thresholds = f.defaults;
    return f;
}

} // namespace

TEST(DiagnosticsTest, ReportLinesForTheMachine)
{
    Diagnostics::Facts f = facts();
    GroupSample group;
    ProcSample a, b;
    b.restricted = true;
    group.members = {a, b};
    f.snapshot.groups = {group};
    Connection remote, named, loop;
    named.host = QStringLiteral("example.org");
    loop.scope = Connection::Scope::loopback;
    f.snapshot.connections = {remote, named, loop};

    const QStringList lines = Diagnostics::lines(f);
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], "Tavrin 1.4.0 (57) · commit ? · install build");
    EXPECT_EQ(lines[1], "Linux 6.1.0 · Debian GNU/Linux 12 (bookworm) · Ryzen 7 · 3 cores (2P+1E) · 16 GB");
    EXPECT_EQ(lines[2], "language en (system) · app uptime 59m · system uptime 1.0h");
    EXPECT_EQ(lines[3], "self: cpu 100.0% · mem 0B · view table");
    EXPECT_EQ(lines[4], "sampling: last sample 0.5s ago · 2 processes (1 restricted) · 1 groups · history 0");
    EXPECT_EQ(lines[6], "network: 2 remote connections (1 named) · 1 loopback · 0 listeners · net serial 0 · "
                        "domains logged 0");
    EXPECT_EQ(lines[7], "incidents: 0 open · 0 total");
    // The percent switch shows in the tray's tooltip.
    EXPECT_EQ(lines[8], "settings: notify on · resolve hosts on · auto update on · tray tooltip % on · muted 0");
    EXPECT_EQ(lines[10], "update: idle · never checked");
    EXPECT_FALSE(Diagnostics::report(f).endsWith('\n'));
}

TEST(DiagnosticsTest, IncidentKindsAndChangedThresholds)
{
    Diagnostics::Facts f = facts();
    Incident memory, memory2, cpu, growth, pressure;
    memory.kind = memory2.kind = Incident::Kind::memory;
    cpu.kind = Incident::Kind::systemCPU;
    cpu.end = Date{5};
    growth.kind = Incident::Kind::memoryGrowth;
    pressure.kind = Incident::Kind::memoryPressure;
    f.incidents = {cpu, memory, pressure, memory2, growth};
    QStringList lines = Diagnostics::lines(f);
    EXPECT_EQ(lines[7], "incidents: 4 open · 5 total · memoryGrowth×1 memoryPressure×1 memory×2 systemCPU×1");
    EXPECT_EQ(lines[9].count('*'), 1); // only the legend's

    f.prefs.thresholds.threads += 100;
    f.prefs.thresholds.memoryGB = 12.25;
    lines = Diagnostics::lines(f);
    EXPECT_TRUE(lines[9].contains(" · threads 500* · fds 1024 ·")) << lines[9].toStdString();
    EXPECT_TRUE(lines[9].contains(" · memGB 12.25* · growthGB ")) << lines[9].toStdString();
    EXPECT_TRUE(lines[9].contains("downMB 5.0 · upMB 2.0")) << lines[9].toStdString();
    EXPECT_EQ(lines[9].count('*'), 3);

    f.update.state = QStringLiteral("failed(message: \"") + QString(80, 'x') + QStringLiteral("\", manual: false)");
    f.update.lastCheck = Date{10000 - 7200};
    lines = Diagnostics::lines(f);
    EXPECT_EQ(lines[10], QStringLiteral("update: ") + f.update.state.left(60) + " · last check 2.0h ago");
}

TEST(DiagnosticsTest, PiecesOfTheReport)
{
    EXPECT_EQ(Diagnostics::duration(59), "0m");
    EXPECT_EQ(Diagnostics::duration(3599), "59m");
    EXPECT_EQ(Diagnostics::duration(3600), "1.0h");
    EXPECT_EQ(Diagnostics::shortest(8), "8.0");
    EXPECT_EQ(Diagnostics::shortest(0.5), "0.5");
    EXPECT_EQ(Diagnostics::shortest(12.25), "12.25");

    const QString home = QStringLiteral("/home/ann");
    EXPECT_EQ(Diagnostics::installClass("/home/ann/Applications/Tavrin/bin", home), "~/Applications");
    EXPECT_EQ(Diagnostics::installClass("/home/ann/src/tavrin/build/bin", home), "build");
    EXPECT_EQ(Diagnostics::installClass("/opt/tavrin/bin", home), "/opt");
    EXPECT_EQ(Diagnostics::installClass("/usr/bin", home), "/usr");
    EXPECT_EQ(Diagnostics::installClass("/home/ann/Applicationsx", home), "other");

    EXPECT_EQ(Diagnostics::distribution("NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                                        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(Diagnostics::distribution("# comment\nNAME=Arch\nVERSION_ID=1\n"), "Arch 1");
    EXPECT_EQ(Diagnostics::distribution(""), "Linux");

    // The clipboard's form: a fence round the report, nothing else.
    const QString fenced = Diagnostics::fenced(Diagnostics::report(facts()));
    EXPECT_TRUE(fenced.startsWith("```\nTavrin "));
    EXPECT_TRUE(fenced.endsWith("\n```"));
}
