#pragma once
// Runs one of our helper tools and collects what it prints.

#include <QString>
#include <QStringList>

#include <chrono>

// Runs `tool` with `arguments`, stdout piped, stderr to /dev/null, and
// returns stdout as UTF-8 text. Gives "" when the tool cannot be started,
// and kills a tool still running after `timeout` (its output then counts as
// nothing). Safe to call from any thread; needs no event loop.
QString runCommand(const QString& tool, const QStringList& arguments,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The path of a helper tool that lives beside the running executable.
QString toolPath(const QString& name);
