#pragma once
// Builds fake /proc and /sys trees for the probe tests.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

class FakeRoot {
public:
    QString path() const { return dir.path(); }

    void write(const QString& rel, const QByteArray& text) const
    {
        const QString full = dir.path() + u'/' + rel;
        QDir().mkpath(QFileInfo(full).path());
        QFile f(full);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    void link(const QString& rel, const QString& target) const
    {
        const QString full = dir.path() + u'/' + rel;
        QDir().mkpath(QFileInfo(full).path());
        QFile::remove(full);
        ASSERT_TRUE(QFile::link(target, full));
    }

    void remove(const QString& rel) const { QDir(dir.path() + u'/' + rel).removeRecursively(); }

    struct Proc {
        int pid = 100;
        QByteArray comm = "proc";
        int ppid = 1;
        char state = 'S';
        uint32_t flags = 0;
        uint64_t minFaults = 0;
        uint64_t utime = 0, stime = 0;
        int threads = 1;
        uint64_t start = 1000;
        uint64_t rssAnonKiB = 0, swapKiB = 0;
        uint64_t readBytes = 0, writeBytes = 0;
        QString exe;     // empty: no link
        int fds = 0;
        bool io = true;  // false: no io file at all
        std::optional<uint32_t> uid; // absent: status names no user
    };

    void process(const Proc& p) const
    {
        const QString base = QStringLiteral("proc/%1/").arg(p.pid);
        write(base + "stat", QByteArray::number(p.pid) + " (" + p.comm + ") " + p.state + ' ' + QByteArray::number(p.ppid)
                                 + " 1 1 0 -1 " + QByteArray::number(p.flags) + ' '
                                 + QByteArray::number(p.minFaults) + " 0 0 0 "
                                 + QByteArray::number(p.utime) + ' ' + QByteArray::number(p.stime)
                                 + " 0 0 20 0 " + QByteArray::number(p.threads) + " 0 "
                                 + QByteArray::number(p.start) + " 1000000 50 18446744073709551615\n");
        const QByteArray uid = p.uid ? QByteArray::number(*p.uid) : QByteArray();
        write(base + "status", "Name:\t" + p.comm + (p.uid ? "\nUid:\t" + uid + '\t' + uid + '\t' + uid + '\t' + uid : QByteArray())
                                   + "\nRssAnon:\t    " + QByteArray::number(p.rssAnonKiB)
                                   + " kB\nVmSwap:\t" + QByteArray::number(p.swapKiB) + " kB\n");
        if (p.io)
            write(base + "io", "rchar: 5\nread_bytes: " + QByteArray::number(p.readBytes)
                                   + "\nwrite_bytes: " + QByteArray::number(p.writeBytes)
                                   + "\ncancelled_write_bytes: 7\n");
        QDir().mkpath(dir.path() + u'/' + base + "fd");
        for (int i = 0; i < p.fds; ++i)
            link(base + "fd/" + QString::number(i), QStringLiteral("/dev/null"));
        if (!p.exe.isEmpty())
            link(base + "exe", p.exe);
    }

private:
    QTemporaryDir dir;
};
