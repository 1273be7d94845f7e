#pragma once
// What a shell makes of a line pasted after a command: the argument vector
// it reads back, each argument ended by a NUL so line breaks in them stay
// visible. The shell really runs.

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <vector>

inline std::vector<QByteArray> shellReadBack(const QString& shell, const QString& pasted)
{
    QProcess sh;
    sh.start(shell, {QStringLiteral("-c"), QStringLiteral("set -- ") + pasted + QStringLiteral("\nprintf '%s\\0' \"$@\"")});
    if (!sh.waitForFinished(60000))
        return {};
    std::vector<QByteArray> args;
    const QByteArray out = sh.readAllStandardOutput();
    for (qsizetype from = 0; from < out.size();) {
        const qsizetype nul = out.indexOf('\0', from);
        args.push_back(out.mid(from, nul - from));
        from = nul + 1;
    }
    return args;
}
