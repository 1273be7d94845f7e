#include "engine/process_inspect.h"
#include "engine/process_probe.h"
#include "engine/restricted_probe.h"
#include "platform/proc_files.h"
#include "platform/proc_parse.h"
#include "platform/ps_producer.h"
#include "platform/run_command.h"
#include "platform/user_names.h"

#include "platform/descriptor_limit.h"
#include "probes_fixture.h"

#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

const ProcSample* find(const std::vector<ProcSample>& v, int32_t pid)
{
    for (const auto& p : v)
        if (p.pid == pid)
            return &p;
    return nullptr;
}

void bootedAt(const FakeRoot& r, uint64_t btime)
{
    r.write("proc/stat", "cpu0 1 1 1 1\nbtime " + QByteArray::number(btime) + "\n");
}

} // namespace

TEST(ProcessProbe, IdentityFiguresAndRates)
{
    FakeRoot r;
    bootedAt(r, 1700000000);
    FakeRoot::Proc p;
    p.pid = 100;
    p.comm = "my (odd) name";
    p.ppid = 7;
    p.threads = 4;
    p.start = 500;
    p.rssAnonKiB = 1000;
    p.swapKiB = 24;
    p.readBytes = 1000;
    p.fds = 3;
    r.process(p);
    ProcessProbe probe(r.path(), DesktopEntries());
    const ProcessProbe::NetRates net{{100, {10, 20}}};

    auto v = probe.sample(0, net, {});
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].name, "my (odd) name");
    EXPECT_EQ(v[0].groupKey, "exe:my (odd) name");
    EXPECT_EQ(v[0].ppid, 7);
    EXPECT_EQ(v[0].threads, 4);
    EXPECT_EQ(v[0].mem, 1024u * 1024);
    EXPECT_EQ(v[0].fds, 3);
    EXPECT_EQ(v[0].cpu, 0); // first reading: counters only
    EXPECT_EQ(v[0].netIn, 10);
    EXPECT_EQ(v[0].netOut, 20);
    EXPECT_EQ(v[0].startTime, Date::fromUnix(1700000005));
    EXPECT_FALSE(v[0].restricted);
    EXPECT_EQ(v[0].state, 'S');
    EXPECT_FALSE(v[0].stopped());

    p.state = 'T';
    p.utime = 150;
    p.stime = 50;
    p.readBytes = 5000;
    p.writeBytes = 0;
    r.process(p);
    v = probe.sample(2, {}, {});
    EXPECT_DOUBLE_EQ(v[0].cpu, 100);          // 2 s of CPU in 2 s
    EXPECT_DOUBLE_EQ(v[0].diskRead, 2000);
    EXPECT_EQ(v[0].diskWrite, 0);
    EXPECT_TRUE(v[0].stopped()); // the kernel's state, from the same stat

    // The pid is reused by a process started later: fresh identity, no rates.
    p.start = 900;
    p.comm = "other";
    p.utime = 400;
    r.process(p);
    v = probe.sample(2, {}, {});
    EXPECT_EQ(v[0].name, "other");
    EXPECT_EQ(v[0].cpu, 0);
    EXPECT_EQ(v[0].diskRead, 0);

    // The same process runs another program: it is named and grouped anew,
    // and its counters go on.
    p.comm = "editor";
    p.utime = 500;
    r.process(p);
    v = probe.sample(1, {}, {});
    EXPECT_EQ(v[0].name, "editor");
    EXPECT_EQ(v[0].groupKey, "exe:editor");
    EXPECT_DOUBLE_EQ(v[0].cpu, 100);
}

TEST(ProcessProbe, EndedProcessesAreSkippedAndCachesPruned)
{
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    for (int pid = 1; pid <= 300; ++pid) {
        p.pid = pid;
        r.process(p);
    }
    r.write("proc/self/stat", "not a pid dir");
    ProcessProbe probe(r.path(), DesktopEntries());
    EXPECT_EQ(probe.sample(0, {}, {}).size(), 300u);

    // One ends between the listing and the reading of status, one before
    // its stat. A missing io file alone is no end: kernels without I/O
    // accounting keep none, and the process is listed while its stat is.
    QFile::remove(r.path() + "/proc/5/io");
    QFile::remove(r.path() + "/proc/6/status");
    QFile::remove(r.path() + "/proc/7/stat");
    auto v = probe.sample(1, {}, {});
    EXPECT_EQ(v.size(), 298u);
    ASSERT_TRUE(find(v, 5));
    EXPECT_FALSE(find(v, 5)->restricted);
    EXPECT_FALSE(find(v, 6));
    EXPECT_FALSE(find(v, 7));

    // Ended identities stay until they outnumber the live ones by 256.
    for (int pid = 20; pid <= 270; ++pid)
        r.remove(QStringLiteral("proc/%1").arg(pid));
    probe.sample(1, {}, {});
    EXPECT_EQ(probe.identityCount(), 300u);
    r.remove("proc/271");
    r.remove("proc/272");
    r.remove("proc/273");
    r.remove("proc/274");
    r.remove("proc/275");
    r.remove("proc/276");
    v = probe.sample(1, {}, {});
    EXPECT_EQ(probe.identityCount(), v.size());
}

TEST(ProcessProbe, MemoryIsReadAgainWhenStatShowsItMayHaveMoved)
{
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    p.pid = 10;
    p.rssAnonKiB = 1000;
    r.process(p);
    ProcessProbe probe(r.path(), DesktopEntries());
    EXPECT_EQ(probe.sample(0, {}, {})[0].mem, 1000u << 10);

    // Nothing in stat moved: no fault, no CPU time, the same resident size.
    r.write("proc/10/status", "RssAnon: 2000 kB\n");
    EXPECT_EQ(probe.sample(1, {}, {})[0].mem, 1000u << 10);
    p.rssAnonKiB = 2000;
    p.minFaults = 1;
    r.process(p);
    EXPECT_EQ(probe.sample(1, {}, {})[0].mem, 2000u << 10);

    // Within eight calls it is read again whatever stat shows.
    r.write("proc/10/status", "RssAnon: 3000 kB\n");
    uint64_t mem = 0;
    for (int i = 0; i < 8; ++i)
        mem = probe.sample(1, {}, {})[0].mem;
    EXPECT_EQ(mem, 3000u << 10);

    // A new process under the same pid is read at once.
    p.start = 2000;
    p.rssAnonKiB = 4000;
    r.process(p);
    EXPECT_EQ(probe.sample(1, {}, {})[0].mem, 4000u << 10);
}

TEST(ProcessProbe, DescriptorCountsRefreshEverySecondCall)
{
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    p.pid = 10;
    p.fds = 2;
    r.process(p);
    ProcessProbe probe(r.path(), DesktopEntries());
    EXPECT_EQ(probe.sample(0, {}, {})[0].fds, 2); // call 1 counts
    r.link("proc/10/fd/5", "/dev/null");
    EXPECT_EQ(probe.sample(1, {}, {})[0].fds, 3); // call 2 (even) counts again
    r.link("proc/10/fd/6", "/dev/null");
    EXPECT_EQ(probe.sample(1, {}, {})[0].fds, 3); // call 3 uses the cache
    p.pid = 11;
    r.process(p);
    auto v = probe.sample(1, {}, {});             // call 4
    EXPECT_EQ(find(v, 10)->fds, 4);
    r.link("proc/11/fd/9", "/dev/null");
    v = probe.sample(1, {}, {});                  // call 5: cached for both
    EXPECT_EQ(find(v, 11)->fds, 2);
}

TEST(ProcessProbe, Grouping)
{
    FakeRoot r;
    bootedAt(r, 1);
    // An application in its own directory, one whose program lies in a
    // shared directory, and an entry for a program that is not installed.
    r.write("opt/editor/editor", "");
    r.write("apps/editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\nExec="
                                       + r.path().toUtf8() + "/opt/editor/editor %F\n");
    r.write("apps/sub/shell.desktop", "[Desktop Entry]\nType=Application\nName=Shell\nExec=sh -c x\n");
    r.write("apps/ghost.desktop", "[Desktop Entry]\nType=Application\nName=Ghost\nExec=ghost\n");
    const auto apps = DesktopEntries::load({r.path() + "/apps"}, {QStringLiteral("/usr/bin")});
    EXPECT_EQ(apps.size(), 1u); // a shell names no application, nor does a missing program
    const QString shell = QFileInfo(QStringLiteral("/usr/bin/sh")).canonicalFilePath();

    const QString root = r.path();
    FakeRoot::Proc p;
    auto add = [&](int pid, const QString& exe, const QByteArray& comm, uint32_t flags = 0) {
        p.pid = pid;
        p.exe = exe;
        p.comm = comm;
        p.flags = flags;
        r.process(p);
    };
    add(1, "/Applications/Outer.app/Contents/Frameworks/Inner.app/Contents/MacOS/Inner", "Inner");
    add(2, "/usr/sbin/daemon (deleted)", "daemon");
    add(3, root + "/opt/editor/plugins/helper", "helper");
    add(4, shell, "sh");
    add(5, "/usr/bin/perl", "perl");
    add(6, "", "kworker/0:1", ProcParse::kernelThreadFlag);
    add(7, "", "averyverylongna");
    r.write("proc/7/cmdline", QByteArray("/usr/bin/averyverylongname\0--flag\0", 35));
    add(8, "", "");

    ProcessProbe probe(root, apps);
    const auto v = probe.sample(0, {}, {});
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0].groupKey, "/Applications/Outer.app");
    EXPECT_EQ(v[0].bundlePath, "/Applications/Outer.app");
    EXPECT_EQ(v[0].groupName, "Outer");
    EXPECT_EQ(v[1].path, "/usr/sbin/daemon");
    EXPECT_EQ(v[1].groupKey, "exe:daemon");
    EXPECT_EQ(v[1].bundlePath, std::nullopt);
    EXPECT_EQ(v[2].groupKey, root + "/apps/editor.desktop");
    EXPECT_EQ(v[2].groupName, "Editor");
    EXPECT_EQ(v[3].groupKey, "exe:" + v[3].name); // every shell is not one application
    EXPECT_EQ(v[3].bundlePath, std::nullopt);
    EXPECT_EQ(v[4].groupKey, "exe:perl"); // a shared directory is nobody's application
    EXPECT_EQ(v[5].groupKey, ProcessProbe::kernelGroupKey());
    EXPECT_EQ(v[5].groupName, "kernel");
    EXPECT_EQ(v[5].name, "kworker/0:1");
    EXPECT_EQ(v[6].name, "averyverylongname");
    EXPECT_EQ(v[7].name, "pid 8");
}

namespace {

// Runs `f` in a child that has dropped to nobody, for the readings only an
// unprivileged reader sees; the fixture at `root` is opened to it first.
// 0: `f` held, 1: it did not, 2: privileges cannot be dropped here.
int asNobody(const QString& root, const std::function<bool()>& f)
{
    QFile::setPermissions(root, QFile::permissions(root) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        ::_exit(f() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 1;
    return WEXITSTATUS(status);
}

// What the probe makes of a process whose io it may not read; false with a
// reason in `why` on the first difference.
bool restrictedReadingHolds(const QString& root, std::string& why)
{
    ProcessProbe probe(root, DesktopEntries());
    const auto v = probe.sample(0, {{40, {1, 2}}}, {{40, {12.5, 4096}}});
    if (v.size() != 1)
        return why = "one process expected", false;
    const ProcSample& p = v[0];
    // Threads come from stat, which anyone may read; they count in the
    // system's total while the list shows them as unknown.
    if (!p.restricted || p.name != "daemon" || p.cpu != 12.5 || p.mem != 4096 || p.threads != 9
        || p.fds != 0 || p.netIn != 1)
        return why = "restricted figures differ", false;
    // Without a restricted reading it still shows, with zeros.
    if (probe.sample(2, {}, {})[0].cpu != 0)
        return why = "stale restricted CPU", false;
    return true;
}

} // namespace

TEST(ProcessProbe, AProgramNamedKernelAndAnotherUsersProgramsKeepGroupsOfTheirOwn)
{
    FakeRoot r;
    bootedAt(r, 1);
    r.write("opt/bin/kernel", "");
    r.write("opt/notes/notes", "");
    r.write("apps/notes.desktop", "[Desktop Entry]\nType=Application\nName=Notes\nExec=" + r.path().toUtf8()
                                      + "/opt/notes/notes\n");
    const auto apps = DesktopEntries::load({r.path() + "/apps"}, {QStringLiteral("/usr/bin")});
    ASSERT_EQ(apps.size(), 1u);
    const uint32_t me = 1000, other = 1001;

    FakeRoot::Proc p;
    auto add = [&](int pid, const QString& exe, const QByteArray& comm, uint32_t uid, uint32_t flags = 0) {
        p.pid = pid;
        p.exe = exe;
        p.comm = comm;
        p.uid = uid;
        p.flags = flags;
        r.process(p);
    };
    add(2, "", "kthreadd", 0, ProcParse::kernelThreadFlag);
    add(3, "", "kworker/0:1", 0, ProcParse::kernelThreadFlag);
    add(10, r.path() + "/opt/bin/kernel", "kernel", me);  // a program that calls itself kernel
    add(11, "", "kernel", other);                         // another user's, its executable unreadable
    add(12, "/usr/bin/python3.11", "python3.11", me);
    add(13, "/usr/bin/python3.11", "python3.11", other);
    add(14, r.path() + "/opt/notes/notes", "notes", me);
    add(15, r.path() + "/opt/notes/notes", "notes", other);
    add(16, "/usr/sbin/cron", "cron", 0);

    ProcessProbe probe(r.path(), apps);
    probe.setOwnUid(me);
    const auto v = probe.sample(0, {}, {});
    ASSERT_EQ(v.size(), 9u);
    auto key = [&](int pid) { return find(v, pid)->groupKey; };

    // The kernel's threads are one group, which nothing else can join.
    EXPECT_EQ(key(2), ProcessProbe::kernelGroupKey());
    EXPECT_EQ(key(3), ProcessProbe::kernelGroupKey());
    EXPECT_EQ(find(v, 3)->groupName, "kernel");
    for (int pid : {10, 11, 12, 13, 14, 15, 16})
        EXPECT_NE(key(pid), ProcessProbe::kernelGroupKey()) << pid;
    EXPECT_EQ(key(10), "exe:kernel");
    EXPECT_NE(key(11), key(10));

    // Another user's processes group apart from the user's own, by owner.
    EXPECT_EQ(key(12), "exe:python3.11");
    EXPECT_NE(key(13), key(12));
    EXPECT_TRUE(find(v, 13)->groupName.startsWith("python3.11 (")) << find(v, 13)->groupName.toStdString();
    EXPECT_EQ(key(14), r.path() + "/apps/notes.desktop");
    EXPECT_NE(key(15), key(14));
    EXPECT_EQ(find(v, 15)->bundlePath, r.path() + "/apps/notes.desktop");
    EXPECT_NE(key(16), "exe:cron");
    EXPECT_EQ(find(v, 13)->uid, other);
    EXPECT_EQ(find(v, 12)->uid, me);

    // Running as root makes root's processes the own ones.
    ProcessProbe asRoot(r.path(), apps);
    asRoot.setOwnUid(0);
    const auto w = asRoot.sample(0, {}, {});
    EXPECT_EQ(find(w, 16)->groupKey, "exe:cron");
    EXPECT_EQ(find(w, 2)->groupKey, ProcessProbe::kernelGroupKey());
    EXPECT_NE(find(w, 12)->groupKey, find(w, 13)->groupKey);
}

TEST(ProcessProbe, AnotherUsersProcessesAreNamedWithTheirOwnerAndTheUsersOwnAndRootsAsTheyAre)
{
    FakeRoot r;
    bootedAt(r, 1);
    const uint32_t me = 1000, bob = 1001;
    FakeRoot::Proc p;
    for (const auto& [pid, comm, uid] : std::vector<std::tuple<int, QByteArray, uint32_t>>{
             {10, "kernel", me}, {11, "kernel", bob}, {12, "kernel", 1002}, {13, "kernel", 1003}, {14, "cron", 0},
             {15, "xxxxxxxxxxxxxxx", bob}}) {
        p.pid = pid;
        p.comm = comm;
        p.uid = uid;
        p.exe = pid == 15 ? "/opt/" + QString(300, u'x') : QString();
        r.process(p);
    }
    ProcessProbe probe(r.path(), DesktopEntries());
    probe.setOwnUid(me);
    std::vector<uint32_t> asked;
    probe.setUserLookup([&](uint32_t uid) -> std::optional<std::string> {
        asked.push_back(uid);
        return uid == bob ? "bob" : uid == 1003 ? "e\u202Eve\nx" : std::optional<std::string>();
    });
    const auto v = probe.sample(0, {}, {});
    ASSERT_EQ(v.size(), 6u);
    auto names = [&](int pid) { return find(v, pid)->name + u'|' + find(v, pid)->groupName; };
    EXPECT_EQ(names(10), "kernel|kernel");
    EXPECT_EQ(names(11), "kernel (bob)|kernel (bob)");
    EXPECT_EQ(find(v, 11)->groupKey, "uid:1001:exe:kernel");
    // No login name: the uid. The user database's text is made plain.
    EXPECT_EQ(names(12), "kernel (1002)|kernel (1002)");
    EXPECT_EQ(find(v, 13)->name, "kernel (e\uFFFDve x)");
    EXPECT_EQ(names(14), "cron|cron");
    // A name too long to hold gives way to its owner.
    EXPECT_TRUE(find(v, 15)->name.endsWith("xxx (bob)"));
    EXPECT_EQ(ProcSample::cleanName(find(v, 15)->name), find(v, 15)->name);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<uint32_t>{bob, 1002, 1003}));
    EXPECT_EQ(UserNames::loginName(0), "root");
}

TEST(ProcessProbe, AReadingWithoutDescriptorsOrProcFailsAndLeavesTheLastOneStanding)
{
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    for (int pid : {10, 11}) {
        p.pid = pid;
        r.process(p);
    }
    ProcessProbe probe(r.path());
    EXPECT_EQ(probe.sample(0, {}, {}).size(), 2u);
    EXPECT_EQ(probe.fault(), 0);

    p.utime = 100; // one second of CPU for pid 11 over the next two
    r.process(p);
    {
        NoDescriptorsLeft starved;
        if (!starved.ok())
            GTEST_SKIP() << "the descriptor limit cannot be lowered here";
        EXPECT_TRUE(probe.sample(1, {}, {}).empty());
        EXPECT_EQ(probe.fault(), EMFILE);
    }
    const auto v = probe.sample(2, {}, {});
    EXPECT_EQ(probe.fault(), 0);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_DOUBLE_EQ(find(v, 11)->cpu, 50); // against the reading before the failed one

    // /proc taken away, and back.
    r.remove("proc");
    EXPECT_TRUE(probe.sample(1, {}, {}).empty());
    EXPECT_EQ(probe.fault(), ENOENT);
    r.process(p);
    EXPECT_EQ(probe.sample(1, {}, {}).size(), 1u);
    EXPECT_EQ(probe.fault(), 0);
}

TEST(ProcessProbe, AKernelWithoutIoFilesStillListsEveryProcess)
{
    // A kernel built without per-task I/O accounting has no io file for any
    // process. Every process is listed all the same, with its threads,
    // descriptors, memory and CPU; only its disk rates stay 0.
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    p.io = false;
    p.threads = 3;
    p.fds = 2;
    p.rssAnonKiB = 64;
    for (int pid = 100; pid < 140; ++pid) {
        p.pid = pid;
        r.process(p);
    }
    ProcessProbe probe(r.path(), DesktopEntries());
    EXPECT_EQ(probe.sample(0, {}, {}).size(), 40u);
    p.utime = 100;
    for (int pid = 100; pid < 140; ++pid) {
        p.pid = pid;
        r.process(p);
    }
    const auto v = probe.sample(1, {}, {});
    ASSERT_EQ(v.size(), 40u);
    for (const ProcSample& s : v) {
        SCOPED_TRACE(s.pid);
        EXPECT_FALSE(s.restricted);
        EXPECT_EQ(s.threads, 3);
        EXPECT_EQ(s.fds, 2);
        EXPECT_EQ(s.mem, 64u * 1024);
        EXPECT_DOUBLE_EQ(s.cpu, 100);
        EXPECT_EQ(s.diskRead, 0);
        EXPECT_EQ(s.diskWrite, 0);
    }

    // Nor does the restricted listing take them up: the sampler reads them.
    PsProducer ps(r.path().toStdString(), PsProducer::Scope::unreadableOnly);
    EXPECT_EQ(ps.poll(), "");
}

TEST(ProcessProbe, WithoutIoFilesAnotherUsersProcessIsRestricted)
{
    // With no io file to refuse, the owner of the process's entry tells
    // another user's process from one's own, as the refusal would.
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a fixture's files to another user needs root";
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    p.io = false;
    p.pid = 50;
    r.process(p);
    p.pid = 51;
    r.process(p);
    const QByteArray dir = QFile::encodeName(r.path() + "/proc/51");
    ASSERT_EQ(::chown(dir.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown((dir + "/stat").constData(), 65534, 65534), 0);

    // Root reads every process in full, as it reads every io file.
    ProcessProbe asRoot(r.path(), DesktopEntries());
    auto v = asRoot.sample(0, {}, {});
    ASSERT_EQ(v.size(), 2u);
    EXPECT_FALSE(v[1].restricted);

    // Now the process of 50's owner (root) is another user's, 51 the reader's.
    const int status = asNobody(r.path(), [&] {
        ProcessProbe probe(r.path(), DesktopEntries());
        const auto seen = probe.sample(0, {}, {});
        PsProducer ps(r.path().toStdString(), PsProducer::Scope::unreadableOnly);
        const std::string listed(ps.poll());
        return seen.size() == 2 && seen[0].restricted && !seen[1].restricted && listed.starts_with("50 ")
            && listed.find("\n51 ") == std::string::npos;
    });
    if (status == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(status, 0) << "an unprivileged reader takes the other user's process as its own";
}

TEST(ProcessProbe, RefusedIoMakesARestrictedProcess)
{
    FakeRoot r;
    bootedAt(r, 1);
    FakeRoot::Proc p;
    p.pid = 40;
    p.comm = "daemon";
    p.threads = 9;
    p.fds = 2;
    r.process(p);
    const QString io = r.path() + "/proc/40/io";
    QFile::setPermissions(io, {});
    std::string why;
    if (::geteuid() != 0) {
        EXPECT_TRUE(restrictedReadingHolds(r.path(), why)) << why;
        return;
    }
    // Root reads everything: the refusal needs an unprivileged reader.
    const int status = asNobody(r.path(), [&] { return restrictedReadingHolds(r.path(), why); });
    if (status == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(status, 0) << "the restricted reading differs as an unprivileged reader";
}

TEST(ProcessProbe, RefusedProcessesTakeTheRestrictedReading)
{
    // Whether the live pid 1 is closed to us depends on the machine.
    // The kernel refuses at read time, not at open.
    std::string text;
    int error = 0;
    if (ProcFiles::read("/proc/1/io", text, &error) || error != EACCES)
        GTEST_SKIP() << "/proc/1/io is readable here";
    ProcessProbe probe(QStringLiteral("/"), DesktopEntries());
    const auto v = probe.sample(0, {}, {{1, {12.5, 4096}}});
    const ProcSample* init = find(v, 1);
    ASSERT_TRUE(init);
    EXPECT_TRUE(init->restricted);
    EXPECT_EQ(init->cpu, 12.5);
    EXPECT_EQ(init->mem, 4096u);
    EXPECT_EQ(init->fds, 0);
    EXPECT_GE(init->threads, 1);
    EXPECT_FALSE(init->name.isEmpty());
}

// Makes every page of `m` resident with a write of its own, out of the
// sanitizer's sight: its memset would check, and so make resident, an eighth
// as much again of shadow memory, which the twin below does not have.
[[gnu::no_sanitize_address]] static void touchPages(void* m, size_t size)
{
    const auto page = size_t(::sysconf(_SC_PAGESIZE));
    for (size_t i = 0; i < size; i += page)
        static_cast<volatile char*>(m)[i] = 1;
}

TEST(ProcessProbe, LiveFiguresAgreeWithTheKernel)
{
    constexpr size_t size = 500u << 20;
    const pid_t spinner = ::fork();
    if (spinner == 0) {
        volatile uint64_t spin = 0; // keeps the loop from being optimised away
        for (;;)
            spin = spin + 1;
    }
    // The holder says when its memory is touched, however long that takes,
    // and only then does the measured window start.
    int touched[2];
    ASSERT_EQ(::pipe(touched), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(touched[0]);
        void* m = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m != MAP_FAILED)
            touchPages(m, size);
        const char ok = m != MAP_FAILED ? 1 : 0;
        (void)!::write(touched[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(touched[1]);
    char ready = 0;
    ssize_t got;
    do
        got = ::read(touched[0], &ready, 1);
    while (got < 0 && errno == EINTR);
    ::close(touched[0]);
    // A twin without the allocation gives the baseline (sanitizers add their own).
    const pid_t twin = ::fork();
    if (twin == 0) {
        ::pause();
        ::_exit(0);
    }
    // The spinner's share comes from the kernel's own counters over the
    // same window, so a busy machine that starves it changes nothing.
    auto spun = [spinner] {
        std::string text;
        const auto stat = ProcFiles::read("/proc/" + std::to_string(spinner) + "/stat", text)
            ? ProcParse::pidStat(text) : std::nullopt;
        return stat ? double(stat->utime + stat->stime) / double(::sysconf(_SC_CLK_TCK)) : 0.0;
    };
    // Each probe read is bracketed by the kernel's counter, so a test thread
    // that is itself kept waiting between the reads does not blur the figure.
    ProcessProbe probe(QStringLiteral("/"), DesktopEntries());
    const double spunBeforeFirst = spun();
    probe.sample(0, {}, {});
    const double spunAfterFirst = spun();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double spunBeforeSecond = spun();
    const auto v = probe.sample(dt, {}, {});
    const double spunAfterSecond = spun();
    const double leastShare = (spunBeforeSecond - spunAfterFirst) / dt * 100;
    const double mostShare = (spunAfterSecond - spunBeforeFirst) / dt * 100;
    for (pid_t p : {spinner, holder, twin}) {
        ::kill(p, SIGKILL);
        ::waitpid(p, nullptr, 0);
    }

    ASSERT_EQ(ready, 1) << "the holder could not map its memory";
    const ProcSample* s = find(v, spinner);
    const ProcSample* h = find(v, holder);
    const ProcSample* t = find(v, twin);
    ASSERT_TRUE(s && h && t);
    EXPECT_GT(s->cpu, 0);
    EXPECT_GE(s->cpu, leastShare - 10);
    EXPECT_LE(s->cpu, mostShare + 10);
    EXPECT_NEAR(double(h->mem) - double(t->mem), double(size), double(size) * 0.05);
    const ProcSample* self = find(v, ::getpid());
    ASSERT_TRUE(self);
    EXPECT_GE(self->threads, 1);
    EXPECT_GE(self->fds, 3);
}

TEST(ProcessProbe, LiveDescriptorCountFollowsOpenFiles)
{
    ProcessProbe probe(QStringLiteral("/"), DesktopEntries());
    const auto first = probe.sample(0, {}, {});
    const ProcSample* before = find(first, ::getpid());
    ASSERT_TRUE(before);
    const int64_t base = before->fds;
    int fds[20][2];
    for (auto& pair : fds)
        ASSERT_EQ(::pipe(pair), 0);
    probe.sample(1, {}, {}); // the cached count
    const auto v = probe.sample(1, {}, {});
    for (auto& pair : fds) {
        ::close(pair[0]);
        ::close(pair[1]);
    }
    const ProcSample* after = find(v, ::getpid());
    ASSERT_TRUE(after);
    EXPECT_EQ(after->fds - base, 40);
}

TEST(ProcessProbe, ChurnStaysConsistent)
{
    // About a hundred short-lived processes a second while the probe reads.
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            const pid_t c = ::fork();
            if (c == 0)
                ::_exit(0);
            if (c > 0)
                ::waitpid(c, nullptr, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    ProcessProbe probe(QStringLiteral("/"), DesktopEntries());
    for (int i = 0; i < 20; ++i) {
        const auto v = probe.sample(0.05, {}, {});
        ASSERT_TRUE(find(v, ::getpid()));
        for (const auto& p : v) {
            EXPECT_GT(p.pid, 0);
            EXPECT_FALSE(p.groupKey.isEmpty());
            EXPECT_GE(p.cpu, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop = true;
    churn.join();
}

TEST(ProcessInspect, DescriptorKindsAndCommandLine)
{
    FakeRoot r;
    r.link("proc/9/fd/0", "/dev/null");
    r.link("proc/9/fd/1", "socket:[123]");
    r.link("proc/9/fd/2", "pipe:[9]");
    r.link("proc/9/fd/3", "anon_inode:[eventpoll]");
    r.link("proc/9/fd/4", "anon_inode:[eventfd]");
    r.link("proc/9/fd/5", "/tmp/x");
    const auto kinds = ProcessInspect::fdBreakdown(9, r.path());
    ASSERT_EQ(kinds.size(), 5u);
    EXPECT_EQ(kinds[0].second, 2);
    EXPECT_EQ(kinds[1].second, 1);
    EXPECT_EQ(kinds[2].second, 1);
    EXPECT_EQ(kinds[3], (std::pair<QString, int64_t>{"epoll", 1}));
    EXPECT_EQ(kinds[4].second, 1);
    EXPECT_TRUE(ProcessInspect::fdBreakdown(10, r.path()).empty());

    r.write("proc/9/cmdline", QByteArray("prog\0a b\0\0c\0", 12));
    EXPECT_EQ(ProcessInspect::commandLine(9, r.path()), "prog a b  c");
    r.write("proc/9/cmdline", "renamed title");
    EXPECT_EQ(ProcessInspect::commandLine(9, r.path()), "renamed title");
    r.write("proc/9/cmdline", QByteArray("title: worker") + QByteArray(20, '\0'));
    EXPECT_EQ(ProcessInspect::commandLine(9, r.path()), "title: worker");
    r.write("proc/9/cmdline", QByteArray(4, '\0'));
    EXPECT_EQ(ProcessInspect::commandLine(9, r.path()), "");
    EXPECT_EQ(ProcessInspect::commandLine(10, r.path()), "");
}

TEST(RestrictedProbe, ToolOutputAndThread)
{
    // The command-line front prints what the probe reads in-process.
    const QString tool = QStringLiteral(TAVRIN_BIN_DIR "/tavrin-ps");
    const QString out = runCommand(tool, {QStringLiteral("-axo"), QStringLiteral("pid=,time=,rss=")});
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 1);
    bool self = false;
    for (const QString& line : lines) {
        const auto parsed = RestrictedProbe::parseLine(line.toStdString());
        ASSERT_TRUE(parsed) << line.toStdString();
        self = self || parsed->pid == ::getpid();
    }
    EXPECT_TRUE(self);

    // The thread polls at once and is stopped promptly by the destructor.
    // It lists only what the sampler cannot read itself: the process whose
    // io counters are closed, not the readable one. Root reads every file,
    // so there a reader dropped to nobody finds root's process with no io
    // file closed to it.
    FakeRoot r;
    FakeRoot::Proc open;
    open.pid = 30;
    r.process(open);
    FakeRoot::Proc closed;
    closed.pid = 31;
    closed.rssAnonKiB = 8;
    closed.io = ::geteuid() != 0;
    r.process(closed);
    const auto listsTheClosedOne = [&] {
        auto probe = std::make_unique<RestrictedProbe>(r.path().toStdString());
        probe->start();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard guard(probe->lock);
                if (!probe->latest.empty())
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard guard(probe->lock);
        return probe->latest.size() == 1 && probe->latest.count(31) == 1;
    };
    if (::geteuid() != 0) {
        QFile::setPermissions(r.path() + "/proc/31/io", {});
        EXPECT_TRUE(listsTheClosedOne());
        return;
    }
    // Root's own process 30 keeps its io file, readable to anyone.
    const int status = asNobody(r.path(), listsTheClosedOne);
    if (status == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(status, 0) << "the listing is not just the process closed to its reader";
}

TEST(ProcessProbe, HostileArgvNameIsCappedAndCleaned)
{
    // A process whose executable we cannot read takes its name from argv[0],
    // which its owner may set to anything at all.
    FakeRoot r;
    bootedAt(r, 1700000000);
    QByteArray argv0 = "evil-program-na";
    while (argv0.size() < 100 * 1024)
        argv0 += "me\nline\t\x1b[31m\x7f";
    FakeRoot::Proc p;
    p.pid = 321;
    p.comm = argv0.left(15);
    r.process(p);
    r.write("proc/321/cmdline", argv0 + '\0' + "arg" + '\0');
    ProcessProbe probe(r.path(), DesktopEntries());

    const auto v = probe.sample(0, {}, {});
    ASSERT_EQ(v.size(), 1u);
    const QByteArray name = v[0].name.toUtf8();
    EXPECT_GT(name.size(), 15);
    EXPECT_LE(name.size(), ProcSample::maxNameBytes);
    for (char c : name)
        EXPECT_FALSE((unsigned char)c < 0x20 || c == 0x7f) << int(c);
    EXPECT_LE(v[0].groupKey.toUtf8().size(), ProcSample::maxNameBytes + 4);
    EXPECT_EQ(v[0].groupKey, "exe:" + v[0].name);
    EXPECT_EQ(v[0].groupName, v[0].name);
}
