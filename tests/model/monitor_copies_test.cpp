// Two running copies of the program on one settings file: each turns off a
// different switch, and neither undoes the other's, on disk or in the
// running copy; nor a setting that a newer build left in the file.

#include "core/preferences.h"
#include "model/event_loop_wait.h"
#include "platform/defaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class SettingsCopiesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath(QStringLiteral("Tavrin.conf"));
        // A user who has used the program before: a setting of theirs is
        // in the file both copies read at start.
        Defaults earlier(file);
        Preferences prefs;
        prefs.sounds = false;
        QJsonObject value = QJsonDocument::fromJson(prefs.encode().value_or(QByteArray())).object();
        value.insert("futureKey", future);
        ASSERT_TRUE(earlier.set("preferences", QJsonDocument(value).toJson(QJsonDocument::Compact)));
    }
    void TearDown() override
    {
        for (auto& copy : copies) {
            copy->kill();
            copy->waitForFinished();
        }
    }

    QProcess& start(const char* mine, const char* theirs)
    {
        auto copy = std::make_unique<QProcess>();
        copy->setStandardErrorFile(QProcess::nullDevice());
        copy->start(QStringLiteral(TAVRIN_PREFS_COPY), {file, QLatin1String(mine), QLatin1String(theirs)});
        copies.push_back(std::move(copy));
        return *copies.back();
    }
    static bool said(QProcess& copy, const char* line)
    {
        return copy.canReadLine() && copy.readLine() == QByteArray(line) + '\n';
    }
    static bool ended(const QProcess& copy) { return copy.state() == QProcess::NotRunning; }

    // What the file holds once both are done.
    void expectBothKept()
    {
        Defaults after(file);
        QJsonObject value = QJsonDocument::fromJson(after.storedData("preferences").value_or(QByteArray())).object();
        EXPECT_EQ(value.value("futureKey"), QJsonValue(future));
        value.remove("futureKey");
        const std::optional<Preferences> stored = Preferences::decode(QJsonDocument(value).toJson());
        ASSERT_TRUE(stored.has_value());
        Preferences expected;
        expected.sounds = false;
        expected.notify = false;
        expected.menuBarPercent = false;
        EXPECT_EQ(*stored, expected);
    }

    const QJsonObject future{{"mode", "quiet"}, {"levels", QJsonArray{1, 2.5}}};
    QTemporaryDir dir;
    QString file;
    std::vector<std::unique_ptr<QProcess>> copies;
};

} // namespace

TEST_F(SettingsCopiesTest, OneAfterTheOtherNeitherUndoesTheOther)
{
    // Both running; notifications off in the first, then the tray percent
    // off in the second.
    QProcess& first = start("notify", "menuBarPercent");
    QProcess& second = start("menuBarPercent", "notify");
    ASSERT_TRUE(waitFor([&] { return said(first, "ready") || ended(first); }));
    ASSERT_TRUE(waitFor([&] { return said(second, "ready") || ended(second); }));

    first.write("go\n");
    ASSERT_TRUE(waitFor([&] { return said(first, "saved") || ended(first); }));
    second.write("go\n");
    ASSERT_TRUE(waitFor([&] { return said(second, "saved") || ended(second); }));

    // Each has taken up the other's change, and says so by ending well.
    ASSERT_TRUE(waitFor([&] { return ended(first) && ended(second); }));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
    expectBothKept();
}

TEST_F(SettingsCopiesTest, AtTheSameMomentNeitherUndoesTheOther)
{
    QProcess& first = start("notify", "menuBarPercent");
    QProcess& second = start("menuBarPercent", "notify");
    ASSERT_TRUE(waitFor([&] { return said(first, "ready") || ended(first); }));
    ASSERT_TRUE(waitFor([&] { return said(second, "ready") || ended(second); }));

    first.write("go\n");
    second.write("go\n");
    ASSERT_TRUE(waitFor([&] { return ended(first) && ended(second); }));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
    expectBothKept();
}
