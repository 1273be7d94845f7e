#pragma once
// Runs the current test again inside a user and mount namespace of its
// own, with a small tmpfs at a folder (8 MB unless told): a filesystem
// other than the one the test's other files lie on, made without root.
// Inside, the test finds the folder in ownTmpfs(); the user is root there,
// mapped to the one outside. Run by root with `asRoot`, the namespace is a
// mount namespace alone, and the run inside may act as any user.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

struct TmpfsRun {
    int code = -1;
    QString out;
    bool unavailable() const { return code == 125 || out.startsWith(QStringLiteral("unshare:")); }
};

// The folder the tmpfs is mounted at, in the run inside; empty outside.
inline QString ownTmpfs() { return qEnvironmentVariable("TAVRIN_OWN_TMPFS"); }

inline TmpfsRun rerunOnOwnTmpfs(const QString& folder,
                                QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                                const QString& size = QStringLiteral("8m"), const QString& mode = QStringLiteral("0755"),
                                bool asRoot = false)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    env.insert(QStringLiteral("TAVRIN_OWN_TMPFS"), folder);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("unshare"),
            {asRoot ? QStringLiteral("-m") : QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("mount -t tmpfs -o size=$0,mode=%1 tmpfs \"$1\" || exit 125; shift; exec \"$@\"").arg(mode),
             size, folder, QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
             QStringLiteral("--gtest_filter=%1.%2").arg(QString::fromUtf8(test->test_suite_name()),
                                                       QString::fromUtf8(test->name()))});
    if (!p.waitForStarted())
        return {125, QStringLiteral("unshare: cannot be started")};
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("still running")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

// The same, with `dir`/disk as the tmpfs and the home trash in `dir`/share,
// left on the test's own filesystem.
inline TmpfsRun rerunWithHomeTrashElsewhere(const QString& dir, const QString& size = QStringLiteral("8m"))
{
    QDir().mkpath(dir + QStringLiteral("/disk"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir + QStringLiteral("/share"));
    return rerunOnOwnTmpfs(dir + QStringLiteral("/disk"), env, size);
}
