#pragma once
// A private session bus for the tests that talk D-Bus: a dbus-daemon of our
// own on a socket in a temporary directory, nothing activatable on it.

#include "model/event_loop_wait.h"

#include <QDBusConnection>
#include <QFile>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class PrivateBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "no dbus-daemon here";
        ASSERT_TRUE(dir.isValid());
        const QString socket = dir.filePath(QStringLiteral("bus"));
        QFile config(dir.filePath(QStringLiteral("bus.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
            "<allow receive_sender=\"*\"/></policy></busconfig>\n")
                         .arg(socket)
                         .toUtf8());
        config.close();
        // The daemon prints its address once it accepts connections; the
        // socket file alone appears before that.
        daemon_.setStandardErrorFile(QProcess::nullDevice());
        daemon_.start(daemon, {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                               QStringLiteral("--config-file=") + config.fileName()});
        ASSERT_TRUE(daemon_.waitForStarted(60000));
        QDeadlineTimer deadline(60000);
        while (!daemon_.canReadLine() && daemon_.state() == QProcess::Running && !deadline.hasExpired())
            daemon_.waitForReadyRead(int(deadline.remainingTime()));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        ASSERT_TRUE(address_.startsWith(QStringLiteral("unix:"))) << "dbus-daemon gave no address";
    }

    void TearDown() override
    {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished();
        }
    }

    // A new connection to the private bus under a name of its own.
    QDBusConnection connect(const QString& name)
    {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

    QTemporaryDir dir;

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};
