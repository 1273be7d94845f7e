// One running copy of the program as far as its settings go, for the tests
// of two copies that share a settings file: a started Monitor on that file.
//
//   prefs_copy FILE MINE THEIRS
//
// Prints "ready" once it runs, waits for "go" on its input, turns the
// switch MINE off and prints "saved"; then ends with status 0 once the
// switch THEIRS is off too, as another copy left it, and its preferences
// signal has told of it, with MINE still off. Status 1 when that never
// comes, 2 for wrong arguments.

#include "model/event_loop_wait.h"
#include "model/monitor.h"
#include "platform/notifications.h"
#include "platform/defaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

bool Preferences::* switchNamed(const char* name)
{
    struct Named {
        const char* name;
        bool Preferences::* member;
    };
    static constexpr Named switches[] = {
        {"notify", &Preferences::notify},
        {"menuBarPercent", &Preferences::menuBarPercent},
        {"sounds", &Preferences::sounds},
        {"resolveHosts", &Preferences::resolveHosts},
        {"autoCheckUpdates", &Preferences::autoCheckUpdates},
    };
    for (const Named& s : switches)
        if (std::strcmp(s.name, name) == 0)
            return s.member;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    bool Preferences::* mine = switchNamed(argv[2]);
    bool Preferences::* theirs = switchNamed(argv[3]);
    if (!mine || !theirs)
        return 2;
    Defaults::useFile(QString::fromLocal8Bit(argv[1]));

    QTemporaryDir store;
    Sampler::Options options;
    options.demo = true;
    options.storePath = store.filePath(QStringLiteral("incidents.json"));
    Monitor monitor(options, nullptr);
    monitor.start();
    Preferences told = monitor.prefs();
    QObject::connect(&monitor, &Monitor::prefsChanged, [&] { told = monitor.prefs(); });

    std::puts("ready");
    std::fflush(stdout);
    char line[16] = {};
    if (!std::fgets(line, sizeof line, stdin) || std::strcmp(line, "go\n") != 0)
        return 2;

    Preferences changed = monitor.prefs();
    changed.*mine = false;
    monitor.setPrefs(changed);
    std::puts(monitor.saveFailure() == Defaults::Failure::none ? "saved" : "not saved");
    std::fflush(stdout);

    const bool both = waitFor([&] { return !(told.*theirs) && !(told.*mine) && told == monitor.prefs(); });
    return both ? 0 : 1;
}
