#include "app/view_fixture.h"

#include "settings/general_pane.h"
#include "settings/ignored_pane.h"
#include "settings/network_pane.h"
#include "settings/reset_notice.h"
#include "settings/rules_pane.h"
#include "settings/settings_sidebar.h"
#include "settings/settings_view.h"
#include "settings/welcome_view.h"
#include "ui/press_button.h"
#include "ui/rule_slider.h"
#include "ui/section_title.h"
#include "ui/segmented.h"
#include "ui/shrink_label.h"
#include "ui/switch.h"
#include "ui/toggle_row.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTest>

namespace {

using Pane = SettingsView::Pane;

class SettingsViewTest : public ViewTest {
protected:
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    static void unmute(IgnoredPane* pane, int row)
    {
        QTest::mouseClick(pane->list()->viewport(), Qt::LeftButton, {}, pane->list()->unmuteRect(row).center().toPoint());
    }
    void mute(Monitor& monitor, QStringList names)
    {
        Preferences prefs = monitor.prefs();
        prefs.ignored = std::move(names);
        monitor.setPrefs(prefs);
        runPending();
    }

    // A settings file at `file` whose preferences no longer decode, as the
    // defaults of the next Monitor.
    static void damagedSettings(const QString& file, const QString& muted = "make")
    {
        {
            Defaults writer(file);
            writer.set("preferences", QStringLiteral(R"({"language":"zh","ignored":["%1",)").arg(muted).toUtf8());
        }
        Defaults::useFile(file);
    }

    static ProcSample proc(const QString& name, double cpu, uint64_t mem = 0, int64_t threads = 0)
    {
        ProcSample p;
        p.name = name;
        p.cpu = cpu;
        p.mem = mem;
        p.threads = threads;
        return p;
    }

    static GroupSample groupOf(const QString& name, std::vector<ProcSample> members,
                               std::optional<QString> bundle = std::nullopt)
    {
        GroupSample g(name, name, std::move(bundle));
        for (const ProcSample& p : members)
            g.add(p);
        return g;
    }
};

} // namespace

TEST_F(SettingsViewTest, FirstPaneComesFromThePaneDefaultElseTheRules)
{
    EXPECT_EQ(SettingsView::initialPane(defaults()), Pane::rules);
    for (const char* bad : {"", "3", "About", "general "}) {
        defaults().set("pane", QString::fromLatin1(bad));
        EXPECT_EQ(SettingsView::initialPane(defaults()), Pane::rules) << bad;
    }
    defaults().set("pane", "about");
    auto monitor = make();
    SettingsView view(*monitor);
    EXPECT_EQ(view.pane(), Pane::about);
    EXPECT_EQ(view.headerTitle(), "About");
    // Choosing a pane is never stored.
    view.setPane(Pane::general);
    EXPECT_EQ(view.paneDirection(), -1);
    EXPECT_EQ(defaults().stringValue("pane"), "about");
    view.setPane(Pane::general);
    EXPECT_EQ(view.paneDirection(), 1);
}

TEST_F(SettingsViewTest, LanguageChangeRebuildsOnALaterTurnKeepingThePane)
{
    defaults().set("pane", "general");
    auto monitor = make();
    SettingsView view(*monitor);
    showOffscreen(view);
    const int builds = view.builds();
    auto* general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);

    // "中文" is the second option; the pane that was clicked survives the
    // signal, and the window is rebuilt only afterwards.
    click(general->languagePicker()->option(1));
    EXPECT_EQ(monitor->prefs().language, AppLanguage::zh);
    EXPECT_TRUE(L10n::isChinese());
    EXPECT_EQ(view.builds(), builds);
    runPending();
    EXPECT_EQ(view.builds(), builds + 1);
    EXPECT_EQ(view.pane(), Pane::general);
    EXPECT_EQ(view.headerTitle(), "通用");
    settle();
}

TEST_F(SettingsViewTest, ASwitchWritesThePreferencesAndTheyAreSaved)
{
    auto monitor = make();
    GeneralPane pane(*monitor);
    showOffscreen(pane, {560, 600});
    ASSERT_TRUE(monitor->prefs().notify);
    click(pane.notifyRow()->toggle());
    EXPECT_FALSE(monitor->prefs().notify);
    EXPECT_FALSE(Preferences::load(defaults()).notify);

    // A change made elsewhere shows once the pane refreshes.
    Preferences prefs = monitor->prefs();
    prefs.sounds = false;
    monitor->setPrefs(prefs);
    runPending();
    EXPECT_FALSE(pane.soundsRow()->toggle()->isOn());
    settle();
}

TEST_F(SettingsViewTest, AClickKeepsTheSettingsANewerBuildStored)
{
    // A newer build shares the file, as across an update and a downgrade.
    const QString file = defaults().fileName();
    const QByteArray newer =
        R"({"sounds":true,"futureKey":{"mode":"quiet","n":[1,2]},)"
        R"("thresholds":{"systemCPU":90,"processCPU":150,"memoryGB":8,"memoryGrowthGB":1,)"
        R"("threads":400,"fds":1024,"downloadMB":5,"uploadMB":2,"futureLimit":3}})";
    ASSERT_TRUE(defaults().set("preferences", newer));
    auto onDisk = [&file] {
        Defaults reader(file);
        return QJsonDocument::fromJson(reader.data("preferences").value_or(QByteArray())).object();
    };
    auto expectKept = [&](const QJsonObject& o) {
        EXPECT_EQ(o.value("futureKey"), QJsonDocument::fromJson(newer).object().value("futureKey"));
        EXPECT_EQ(o.value("thresholds").toObject().value("futureLimit"), QJsonValue(3));
    };

    auto monitor = make();
    GeneralPane pane(*monitor);
    showOffscreen(pane, {560, 600});
    click(pane.notifyRow()->toggle());
    ASSERT_FALSE(monitor->prefs().notify);
    QJsonObject stored = onDisk();
    EXPECT_EQ(stored.value("notify"), QJsonValue(false));
    expectKept(stored);

    // The newer build writes again, with a change of its own; the next
    // click here is merged over that write and keeps both.
    {
        Defaults theirs(file);
        QJsonObject o = onDisk();
        o.insert("menuBarPercent", false);
        QJsonObject future = o.value("futureKey").toObject();
        future.insert("mode", "loud");
        o.insert("futureKey", future);
        ASSERT_TRUE(theirs.set("preferences", QJsonDocument(o).toJson(QJsonDocument::Compact)));
    }
    click(pane.soundsRow()->toggle());
    ASSERT_FALSE(monitor->prefs().sounds);
    stored = onDisk();
    EXPECT_EQ(stored.value("sounds"), QJsonValue(false));
    EXPECT_EQ(stored.value("notify"), QJsonValue(false));
    EXPECT_EQ(stored.value("menuBarPercent"), QJsonValue(false));
    EXPECT_EQ(stored.value("futureKey").toObject().value("mode"), QJsonValue("loud"));
    EXPECT_EQ(stored.value("thresholds").toObject().value("futureLimit"), QJsonValue(3));
    settle();
}

TEST_F(SettingsViewTest, MutingAndUnmutingFromTheMutedPane)
{
    defaults().set("pane", "ignored");
    auto monitor = make();
    ingest(*monitor, snapshotOf({groupOf("cc1plus", {proc("cc1plus", 10)}, QStringLiteral("/usr/share/applications/gcc.desktop"))}));
    SettingsView view(*monitor);
    showOffscreen(view);
    auto* pane = qobject_cast<IgnoredPane*>(view.paneWidget());
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->showsEmptyState());
    EXPECT_EQ(view.sidebar()->mutedBadge(), 0);

    // Muted from the inspector while the window is open.
    Preferences prefs = monitor->prefs();
    prefs.ignored = toggledMute(toggledMute(prefs.ignored, "cc1plus"), "Cc1plus");
    prefs.ignored.append("cc1plus"); // a name stored twice
    monitor->setPrefs(prefs);
    runPending();
    ASSERT_EQ(pane->shown().size(), 3u);
    EXPECT_FALSE(pane->showsEmptyState());
    EXPECT_EQ(pane->shown()[0].bundlePath, QStringLiteral("/usr/share/applications/gcc.desktop"));
    // Names match exactly: another letter case finds no icon.
    EXPECT_EQ(pane->shown()[1].bundlePath, std::nullopt);
    EXPECT_EQ(view.sidebar()->mutedBadge(), 3);

    // Unmuting one copy drops both.
    unmute(pane, 2);
    EXPECT_EQ(monitor->prefs().ignored, QStringList{"Cc1plus"});
    EXPECT_EQ(Preferences::load(defaults()).ignored, QStringList{"Cc1plus"});
    runPending();
    ASSERT_EQ(pane->shown().size(), 1u);
    unmute(pane, 0);
    runPending();
    EXPECT_TRUE(monitor->prefs().ignored.isEmpty());
    EXPECT_TRUE(pane->showsEmptyState());
    EXPECT_EQ(view.sidebar()->mutedBadge(), 0);
    settle();
}

TEST_F(SettingsViewTest, TwoQuickClicksOnUnmuteUnmuteTwoNames)
{
    auto monitor = make();
    mute(*monitor, {"make", "cc1plus", "ld"});
    IgnoredPane pane(*monitor);
    showOffscreen(pane, {560, 300});
    unmute(&pane, 0);
    runPending();
    // The second press comes within the double-click time.
    const QPoint at = pane.list()->unmuteRect(0).center().toPoint();
    QTest::mouseDClick(pane.list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(pane.list()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(monitor->prefs().ignored.size(), 1);
    settle();
}

TEST_F(SettingsViewTest, TwoQuickPressesOnOneSpotUnmuteTheNamesThatComeToIt)
{
    auto monitor = make();
    mute(*monitor, {"make", "cc1plus", "ld", "as"});
    IgnoredPane pane(*monitor);
    showOffscreen(pane, {560, 300});
    QWidget* viewport = pane.list()->viewport();
    const QPoint at = pane.list()->unmuteRect(0).center().toPoint();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    runPending();
    // The first row still fades where it stood, and no frame has moved the
    // next one up: a press there is meant for the row coming to rest there.
    ASSERT_EQ(pane.list()->leavingCount(), 1u);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(monitor->prefs().ignored, (QStringList{"ld", "as"}));
    runPending();
    // Within the double-click time the press comes as a double-click.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(monitor->prefs().ignored, QStringList{"as"});
    runPending();

    // An Unmute drawn under the pointer while it slides is still the one
    // the press means.
    mute(*monitor, {"as", "cc", "ld"});
    settle();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    runPending();
    advance(0.1);
    const QPointF sliding = pane.list()->unmuteRect(1).center();
    ASSERT_NE(pane.list()->unmuteAt(sliding), -1);
    EXPECT_EQ(pane.list()->unmuteAt(sliding), 1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, sliding.toPoint());
    EXPECT_EQ(monitor->prefs().ignored, QStringList{"cc"});
    settle();
    // At rest only the text itself answers.
    EXPECT_EQ(pane.list()->unmuteAt(QPointF(at.x(), MutedList::pitch * 1.5)), -1);
}

TEST_F(SettingsViewTest, SettingsThatCouldNotBeReadSaySoUntilDismissedOrChanged)
{
    // Deep enough that the folder cannot show whole in the sidebar.
    const QString folder = dir.filePath("a-settings-folder-with-a-rather-long-name/Tavrin");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "/Tavrin.conf";
    damagedSettings(file);
    auto monitor = make();
    EXPECT_EQ(monitor->prefs(), Preferences{});
    // Kept aside at once, so the window can say where.
    ASSERT_TRUE(monitor->settingsReset());
    EXPECT_EQ(monitor->settingsReset()->file, file + ".unreadable");
    EXPECT_TRUE(monitor->settingsReset()->kept);
    EXPECT_TRUE(QFileInfo(file + ".unreadable").isFile());

    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        SettingsView view(*monitor);
        showOffscreen(view, {SettingsView::windowWidth, SettingsView::windowHeight});
        ResetNotice* notice = view.sidebar()->resetNotice();
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->title(), chinese ? "无法读取你的设置" : "Your settings couldn't be read");
        EXPECT_EQ(notice->detail(), chinese ? "现在使用的是默认设置。原来的文件另存为："
                                           : "The defaults are in use. The old file is kept as:");
        EXPECT_EQ(notice->folderLine(), folder + "/");
        EXPECT_EQ(notice->nameLine(), "Tavrin.conf.unreadable");
        EXPECT_EQ(notice->toolTip(), file + ".unreadable");
        // Between the rows and the footer, and a long folder is cut in the
        // middle rather than at the sidebar's edge.
        const QRect box = notice->geometry();
        EXPECT_GE(box.top(), view.sidebar()->row(Pane::about)->geometry().bottom());
        EXPECT_LE(box.right(), SettingsView::sidebarWidth);
        const QRect footer = view.sidebar()->findChildren<QLabel*>().constLast()->geometry();
        EXPECT_LE(box.bottom(), footer.top());
        const Fonts::Fitted& shown = notice->folderLabel()->fitted();
        EXPECT_TRUE(shown.text.contains(QChar(0x2026))) << shown.text.toStdString();
        EXPECT_TRUE(shown.text.endsWith("Tavrin/")) << shown.text.toStdString();
        EXPECT_LE(shown.width, notice->folderLabel()->width());
        EXPECT_EQ(notice->nameLabel()->fitted().text, "Tavrin.conf.unreadable");
    }
    L10n::setChinese(false);

    // Dismissed, it stays gone, in this window and the next.
    SettingsView view(*monitor);
    showOffscreen(view);
    click(view.sidebar()->resetNotice()->dismissButton());
    runPending();
    EXPECT_FALSE(monitor->settingsReset());
    EXPECT_EQ(view.sidebar()->resetNotice(), nullptr);
    EXPECT_EQ(SettingsView(*monitor).sidebar()->resetNotice(), nullptr);

    // A second damaged file, in a later run, is kept beside the first, and
    // the first change of a setting takes the word away.
    damagedSettings(file, "ld");
    monitor = make();
    ASSERT_TRUE(monitor->settingsReset());
    EXPECT_EQ(monitor->settingsReset()->file, file + ".unreadable-2");
    SettingsView again(*monitor);
    again.setPane(Pane::general);
    showOffscreen(again);
    ASSERT_NE(again.sidebar()->resetNotice(), nullptr);
    auto* general = qobject_cast<GeneralPane*>(again.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->notifyRow()->toggle());
    runPending();
    EXPECT_FALSE(monitor->settingsReset());
    EXPECT_EQ(again.sidebar()->resetNotice(), nullptr);
    EXPECT_EQ(again.sidebar()->footerText(), "Changes apply at once and save automatically");
    settle();
}

TEST_F(SettingsViewTest, SettingsThatAreNotUtf8AreKeptByteForByteAndSaidSo)
{
    const QString file = dir.filePath("Tavrin.conf");
    const QByteArray bytes = "[General]\nexpand=caf\xe9\nselect=\xff\xfe" "abc\nmode=ports\n";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Defaults::useFile(file);
    auto monitor = make();
    EXPECT_FALSE(monitor->pendingExpand);
    EXPECT_FALSE(monitor->pendingSelect());
    ASSERT_TRUE(monitor->settingsReset());
    EXPECT_EQ(monitor->settingsReset()->file, file + ".unreadable");
    EXPECT_TRUE(monitor->settingsReset()->kept);
    SettingsView view(*monitor);
    view.setPane(Pane::general);
    showOffscreen(view);
    ASSERT_NE(view.sidebar()->resetNotice(), nullptr);
    EXPECT_EQ(view.sidebar()->resetNotice()->nameLine(), "Tavrin.conf.unreadable");

    // A change writes a file of its own; the old bytes stay as they were.
    auto* general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->notifyRow()->toggle());
    runPending();
    EXPECT_EQ(monitor->saveFailure(), Defaults::Failure::none);
    QFile kept(file + ".unreadable");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes);
    QFile now(file);
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    const QByteArray written = now.readAll();
    EXPECT_FALSE(written.contains("expand")) << written.toStdString();
    EXPECT_FALSE(written.contains("mode")) << written.toStdString();
    settle();
}

TEST_F(SettingsViewTest, AnIncidentLogThatCouldNotBeReadIsToldOnceUntilDismissed)
{
    const QString store = dir.filePath("incidents.json");
    const auto writeStore = [&store](const QByteArray& data) {
        QFile f(store);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    };
    writeStore("[{\"id\":");
    auto monitor = make();
    EXPECT_EQ(monitor->incidentsKept(), store + ".unreadable");
    EXPECT_FALSE(monitor->settingsReset());

    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        SettingsView view(*monitor);
        showOffscreen(view, {SettingsView::windowWidth, SettingsView::windowHeight});
        EXPECT_EQ(view.sidebar()->resetNotice(), nullptr);
        ResetNotice* notice = view.sidebar()->incidentsNotice();
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->title(), chinese ? "无法读取事件记录" : "Your incident log couldn't be read");
        EXPECT_EQ(notice->detail(), chinese ? "已开始新的记录。原来的文件另存为："
                                           : "A new log has begun. The old file is kept as:");
        EXPECT_EQ(notice->folderLine(), dir.path() + "/");
        EXPECT_EQ(notice->nameLine(), "incidents.json.unreadable");
        EXPECT_EQ(notice->toolTip(), store + ".unreadable");
        EXPECT_EQ(notice->dismissButton()->text(), chinese ? "知道了" : "Dismiss");
        const QRect box = notice->geometry();
        EXPECT_GE(box.top(), view.sidebar()->row(Pane::about)->geometry().bottom());
        EXPECT_LE(box.right(), SettingsView::sidebarWidth);
        EXPECT_LE(box.bottom(), view.sidebar()->findChildren<QLabel*>().constLast()->geometry().top());
    }
    L10n::setChinese(false);

    // A change of a setting is no answer to it; Dismiss is, in this window
    // and the next.
    SettingsView view(*monitor);
    view.setPane(Pane::general);
    showOffscreen(view);
    auto* general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->notifyRow()->toggle());
    runPending();
    ASSERT_NE(view.sidebar()->incidentsNotice(), nullptr);
    click(view.sidebar()->incidentsNotice()->dismissButton());
    runPending();
    EXPECT_TRUE(monitor->incidentsKept().isEmpty());
    EXPECT_EQ(view.sidebar()->incidentsNotice(), nullptr);
    EXPECT_EQ(SettingsView(*monitor).sidebar()->incidentsNotice(), nullptr);

    // The next start has nothing new to tell.
    monitor = make();
    EXPECT_TRUE(monitor->incidentsKept().isEmpty());

    // Both set aside in one start: both are told, one above the other.
    writeStore("not json");
    damagedSettings(dir.filePath("Tavrin.conf"));
    monitor = make();
    EXPECT_EQ(monitor->incidentsKept(), store + ".unreadable-2");
    ASSERT_TRUE(monitor->settingsReset());
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        SettingsView both(*monitor);
        showOffscreen(both, {SettingsView::windowWidth, SettingsView::windowHeight});
        ResetNotice* settings = both.sidebar()->resetNotice();
        ResetNotice* incidents = both.sidebar()->incidentsNotice();
        ASSERT_NE(settings, nullptr);
        ASSERT_NE(incidents, nullptr);
        EXPECT_EQ(incidents->nameLine(), "incidents.json.unreadable-2");
        EXPECT_GE(settings->geometry().top(), both.sidebar()->row(Pane::about)->geometry().bottom());
        EXPECT_GT(incidents->geometry().top(), settings->geometry().bottom());
        EXPECT_LE(incidents->geometry().bottom(),
                  both.sidebar()->findChildren<QLabel*>().constLast()->geometry().top());
        // Dismissing one leaves the other.
        if (chinese) {
            click(settings->dismissButton());
            runPending();
            EXPECT_EQ(both.sidebar()->resetNotice(), nullptr);
            EXPECT_EQ(both.sidebar()->incidentsNotice(), incidents);
        }
    }
    L10n::setChinese(false);
    settle();
}

TEST_F(SettingsViewTest, WhenNoCopyCanBeMadeTheNoticeAndTheFooterSaySo)
{
    // No copy of a file with so long a name fits beside it.
    const QString folder = dir.filePath("a-settings-folder-with-a-rather-long-name");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "/" + QString(246, u'T');
    damagedSettings(file);
    auto monitor = make();
    ASSERT_TRUE(monitor->settingsReset());
    EXPECT_FALSE(monitor->settingsReset()->kept);
    SettingsView view(*monitor);
    view.setPane(Pane::general);
    showOffscreen(view);
    ResetNotice* notice = view.sidebar()->resetNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->detail(), "The defaults are in use. The old file is left as it was:");
    EXPECT_EQ(notice->folderLine(), folder + "/");
    EXPECT_EQ(notice->nameLine(), QString(246, u'T'));
    EXPECT_LE(notice->nameLabel()->fitted().width, notice->nameLabel()->width());

    auto* general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->notifyRow()->toggle());
    runPending();
    EXPECT_FALSE(monitor->prefs().notify); // applied all the same
    EXPECT_EQ(monitor->saveFailure(), Defaults::Failure::notKept);
    const QString said = "Couldn't save settings: no copy of the unreadable file can be made in ";
    EXPECT_EQ(view.sidebar()->footerText(), said + folder);
    // The folder is cut in the middle to the footer's width, and kept whole
    // on one line.
    const QLabel* footer = view.sidebar()->findChildren<QLabel*>().constLast();
    ASSERT_TRUE(footer->text().startsWith(said)) << footer->text().toStdString();
    const QString path = footer->text().mid(said.size()).remove(QChar(0x2060));
    EXPECT_TRUE(path.contains(QChar(0x2026))) << path.toStdString();
    EXPECT_LE(QFontMetricsF(footer->font()).horizontalAdvance(path), footer->contentsRect().width());
    EXPECT_EQ(footer->toolTip(), said + folder);

    setLanguage(*monitor, AppLanguage::zh);
    EXPECT_EQ(view.sidebar()->footerText(), "无法保存设置：无法在 " + folder + " 中留存读不出的旧文件的副本");
    // Nothing went over the file that could not be kept.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("ignored"));
    settle();
}

TEST_F(SettingsViewTest, AChangeThatCannotBeSavedSaysSoUntilOneIs)
{
    // A regular file where the settings folder should be: no write lands,
    // for root too.
    const QString blocker = dir.filePath("config");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString file = blocker + "/Tavrin.conf";
    Defaults::useFile(file);
    auto monitor = make();
    SettingsView view(*monitor);
    view.setPane(Pane::general);
    showOffscreen(view);
    const QString saves = "Changes apply at once and save automatically";
    EXPECT_EQ(view.sidebar()->footerText(), saves);

    auto* general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->notifyRow()->toggle());
    runPending();
    EXPECT_FALSE(monitor->prefs().notify); // applied all the same
    EXPECT_EQ(view.sidebar()->footerText(), "Couldn't save settings: " + file + " can't be written");

    setLanguage(*monitor, AppLanguage::zh);
    EXPECT_EQ(view.sidebar()->footerText(), "无法保存设置：无法写入 " + file);

    ASSERT_TRUE(QFile::remove(blocker));
    general = qobject_cast<GeneralPane*>(view.paneWidget());
    ASSERT_NE(general, nullptr);
    click(general->soundsRow()->toggle());
    runPending();
    EXPECT_EQ(view.sidebar()->footerText(), "修改立即生效并自动保存");
    Defaults saved(file);
    EXPECT_EQ(Preferences::load(saved), monitor->prefs());
    settle();
}

TEST_F(SettingsViewTest, MutedRowsCostTheSameAtAnyLengthAndLeaveOnASpring)
{
    defaults().set("pane", "ignored");
    auto monitor = make();
    SettingsView view(*monitor);
    showOffscreen(view);
    auto* pane = qobject_cast<IgnoredPane*>(view.paneWidget());
    ASSERT_NE(pane, nullptr);
    QStringList names;
    for (int i = 0; i < 400; ++i)
        names.append(QStringLiteral("worker-%1").arg(i));
    mute(*monitor, names.mid(0, 3));
    const qsizetype widgets = pane->findChildren<QWidget*>().size();
    mute(*monitor, names);
    EXPECT_EQ(pane->findChildren<QWidget*>().size(), widgets);

    // The second row fades while its gap closes; the rows below slide up.
    MutedList* list = pane->list();
    const int full = 400 * MutedList::pitch - 1;
    ASSERT_EQ(list->height(), full);
    const double below = list->unmuteRect(2).top();
    unmute(pane, 1);
    runPending();
    ASSERT_EQ(pane->shown().size(), 399u);
    EXPECT_EQ(list->leavingCount(), 1u);
    advance(0.06);
    EXPECT_GT(list->height(), full - MutedList::pitch);
    EXPECT_LT(list->height(), full);
    EXPECT_GT(list->unmuteRect(1).top(), below - MutedList::pitch);
    EXPECT_LT(list->unmuteRect(1).top(), below);
    // A click lands on the row drawn under the pointer, not on the one leaving.
    EXPECT_EQ(list->rowAt(list->unmuteRect(1).center().y()), 1);
    settle();
    EXPECT_EQ(list->leavingCount(), 0u);
    EXPECT_EQ(list->height(), full - MutedList::pitch);
    EXPECT_EQ(list->unmuteRect(1).top(), below - MutedList::pitch);
    EXPECT_EQ(pane->shown()[1].name, "worker-2");
}

TEST_F(SettingsViewTest, MutedNamesShowCleanedAndUnmuteAsStored)
{
    // Names hand-edited into the settings file look as a process's own name
    // would: a right-to-left override shows as a replacement mark.
    auto monitor = make();
    const QString raw = QStringLiteral("ab\u202Ecd-cc1plus");
    auto look = [&](const QString& name) {
        mute(*monitor, {name});
        IgnoredPane pane(*monitor);
        showOffscreen(pane, {560, 200});
        return pane.grab().toImage();
    };
    EXPECT_EQ(look(raw), look(QStringLiteral("ab\uFFFDcd-cc1plus")));

    mute(*monitor, {raw, "make"});
    IgnoredPane pane(*monitor);
    showOffscreen(pane, {560, 300});
    unmute(&pane, 0);
    EXPECT_EQ(monitor->prefs().ignored, QStringList{"make"});
    settle();
}

TEST_F(SettingsViewTest, RulesPeaksAndIntegerThresholds)
{
    // An empty snapshot: only the whole machine has a reading.
    const RulesPane::Peaks none = RulesPane::peaks(Snapshot{});
    ASSERT_TRUE(none[0].has_value());
    EXPECT_EQ(none[0]->value, 0);
    EXPECT_EQ(none[0]->who, "System");
    for (std::size_t i = 1; i < none.size(); ++i)
        EXPECT_FALSE(none[i].has_value()) << i;

    // In a tie the first holder in group order keeps it; a zero is no peak.
    Snapshot s;
    s.system.cpu = 0.42;
    s.groups = {groupOf("a", {proc("first", 120, 0, 7), proc("second", 80)}),
                groupOf("b", {proc("tied", 120, 3ull << 30, 9)})};
    const RulesPane::Peaks live = RulesPane::peaks(s);
    EXPECT_DOUBLE_EQ(live[0]->value, 42);
    EXPECT_EQ(live[1]->who, "first");
    EXPECT_EQ(live[2]->who, "tied");
    EXPECT_DOUBLE_EQ(live[2]->value, 3);
    EXPECT_EQ(live[4]->who, "tied");
    EXPECT_FALSE(live[5].has_value());
    EXPECT_FALSE(live[3].has_value());

    int64_t threads = 400;
    Binding<double> b = RulesPane::intBinding({[&] { return threads; }, [&](const int64_t& v) { threads = v; }});
    EXPECT_EQ(b.value(), 400.0);
    b.write(650.9);
    EXPECT_EQ(threads, 650);
    b.write(-0.5);
    EXPECT_EQ(threads, 0);
    b.write(NAN);
    EXPECT_EQ(threads, 0);
}

TEST_F(SettingsViewTest, ResetButtonsShowOnlyWhileSomethingDiffers)
{
    auto monitor = make();
    RulesPane pane(*monitor);
    showOffscreen(pane, {560, 1200});
    runPending();
    EXPECT_TRUE(pane.resetAllButton()->isHidden());
    EXPECT_EQ(pane.row(0)->peakText(), "Peak now 0%  System");
    for (int i = 0; i < RulesPane::rowCount; ++i)
        EXPECT_TRUE(pane.row(i)->resetButton()->isHidden()) << i;

    Preferences prefs = monitor->prefs();
    prefs.thresholds.threads = 1000;
    monitor->setPrefs(prefs);
    runPending();
    EXPECT_FALSE(pane.resetAllButton()->isHidden());
    EXPECT_FALSE(pane.row(4)->resetButton()->isHidden());
    EXPECT_EQ(pane.row(4)->valueText(), "1000");

    click(pane.resetAllButton());
    runPending();
    EXPECT_EQ(monitor->prefs().thresholds, Thresholds());
    EXPECT_TRUE(pane.resetAllButton()->isHidden());
    EXPECT_TRUE(pane.row(4)->resetButton()->isHidden());
    settle();
}

TEST_F(SettingsViewTest, AStoredThresholdPastItsRangeShowsTheValueUsed)
{
    defaults().set(QStringLiteral("preferences"),
                   QByteArray(R"({"thresholds":{"downloadMB":1e-300,"uploadMB":1e300}})"));
    auto monitor = make();
    RulesPane pane(*monitor);
    EXPECT_EQ(pane.row(6)->valueText(), "0.5 MB/s");
    EXPECT_EQ(pane.row(7)->valueText(), "100 MB/s");
    EXPECT_EQ(monitor->prefs().thresholds.downloadMB, 0.5);
}

TEST(NetworkCounts, CountsRecordsBySourceOfTheirNames)
{
    const auto conn = [](const char* address, std::optional<QString> host,
                         Connection::Scope scope = Connection::Scope::internet) {
        Connection c;
        c.remoteHost = QString::fromLatin1(address);
        c.host = std::move(host);
        c.scope = scope;
        return c;
    };
    EXPECT_EQ(NetworkPane::count({}), (NetworkPane::Counts{0, 0, 0, 0}));
    EXPECT_EQ(NetworkPane::count({conn("127.0.0.1", "localhost", Connection::Scope::loopback)}),
              (NetworkPane::Counts{0, 0, 0, 0}));
    const NetworkPane::Counts c = NetworkPane::count({
        conn("198.18.4.7", "api.example.com"),
        conn("198.20.1.1", "edge.cdn.net"),
        conn("198.20.1.1", "edge.cdn.net"),       // counted twice
        conn("198.19.0.1", std::nullopt),         // unresolved: outbound only
        conn("10.0.0.2", "nas.lan", Connection::Scope::lan),
    });
    EXPECT_EQ(c, (NetworkPane::Counts{5, 4, 1, 3}));
}

TEST_F(SettingsViewTest, SidebarRowsChooseThePaneAndTheHighlightFollows)
{
    auto monitor = make();
    SettingsView view(*monitor);
    showOffscreen(view);
    ASSERT_EQ(view.pane(), Pane::rules);
    const QRectF before = view.sidebar()->highlight();

    click(view.sidebar()->row(Pane::general));
    EXPECT_EQ(view.pane(), Pane::general);
    EXPECT_EQ(view.paneDirection(), -1);
    EXPECT_EQ(view.headerTitle(), "General");
    EXPECT_NE(qobject_cast<GeneralPane*>(view.paneWidget()), nullptr);
    settle();
    EXPECT_LT(view.sidebar()->highlight().top(), before.top());
    EXPECT_EQ(view.sidebar()->highlight(), QRectF(view.sidebar()->row(Pane::general)->geometry()));
    EXPECT_FALSE(FrameClock::shared().running());

    // The panes still to come stand as empty pages.
    click(view.sidebar()->row(Pane::about));
    EXPECT_EQ(view.paneDirection(), 1);
    EXPECT_NE(view.paneWidget(), nullptr);
    settle();
}

TEST_F(SettingsViewTest, SidebarTitlesFitBesideTheirCount)
{
    const QRectF box = SettingsSidebar::rowTextBox();
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        for (Pane pane : SettingsView::allPanes) {
            for (const QString& count : {QString(), QStringLiteral("3"), QStringLiteral("42"), QStringLiteral("999")}) {
                const QString title = SettingsView::title(pane);
                SCOPED_TRACE((title + QLatin1Char(' ') + count).toStdString());
                const auto t = SettingsSidebar::rowText(box, SettingsSidebar::rowFont(), title, count);
                EXPECT_EQ(t.shown, title);
                EXPECT_GE(t.font.pixelSize(), 11);
                EXPECT_LE(QFontMetricsF(t.font).horizontalAdvance(title), t.title.width());
                if (!count.isEmpty()) {
                    EXPECT_LE(t.title.right(), t.count.left());
                    EXPECT_DOUBLE_EQ(t.count.right(), box.right());
                }
            }
        }
        // Short titles keep their full size.
        EXPECT_EQ(SettingsSidebar::rowText(box, SettingsSidebar::rowFont(), QStringLiteral("About"), "3").font,
                  SettingsSidebar::rowFont());
    }
    L10n::setChinese(false);
}

TEST_F(SettingsViewTest, DraggingTheThreadSliderWritesWholeStepsAndSaves)
{
    auto monitor = make();
    RulesPane pane(*monitor);
    showOffscreen(pane, {560, 1400});
    RuleSlider* slider = pane.row(4)->slider();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 3, 13));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 3, 13));
    const int64_t threads = monitor->prefs().thresholds.threads;
    EXPECT_EQ(threads % 50, 0);
    EXPECT_GT(threads, 100);
    EXPECT_LT(threads, 2000);
    EXPECT_EQ(Preferences::load(defaults()).thresholds.threads, threads);
    runPending();
    EXPECT_EQ(pane.row(4)->valueText(), QString::number(threads));
    EXPECT_FALSE(pane.resetAllButton()->isHidden());
    settle();
}

TEST_F(SettingsViewTest, EscAndCtrlWCloseTheWindowAndTheArrowsMoveThroughTheSidebar)
{
    auto monitor = make();
    SettingsView view(*monitor);
    showOffscreen(view);
    ASSERT_EQ(view.pane(), Pane::rules);
    // It opens with the keyboard on the pane shown.
    EXPECT_EQ(view.focusWidget(), view.sidebar()->row(Pane::rules));

    QTest::keyClick(view.sidebar()->row(Pane::rules), Qt::Key_Down);
    EXPECT_EQ(view.pane(), Pane::network);
    EXPECT_EQ(view.paneDirection(), 1);
    EXPECT_EQ(view.focusWidget(), view.sidebar()->row(Pane::network));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(view.focusWidget(), Qt::Key_Up);
    EXPECT_EQ(view.pane(), Pane::general); // and no further
    EXPECT_EQ(view.paneDirection(), -1);
    // Inside a pane the arrows stay that pane's.
    QTest::keyClick(view.paneWidget(), Qt::Key_Down);
    EXPECT_EQ(view.pane(), Pane::general);

    QTest::keyClick(view.paneWidget(), Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
    view.show();
    QTest::keyClick(view.sidebar()->row(Pane::general), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(view.isVisible());
    settle();
}

// On this desktop the icon sits in a tray, and the percent goes into its
// tooltip: no text of the settings window or the tour speaks of a menu bar.
TEST_F(SettingsViewTest, TextsSpeakOfTheTrayAndItsTooltip)
{
    auto monitor = make();
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        GeneralPane pane(*monitor);
        const QString tray = chinese ? "托盘" : "tray";
        const QString percent = pane.trayRow()->title()->text() + pane.trayRow()->detail()->text();
        for (const QString& text : {SettingsView::summary(Pane::general), WelcomeView::headline(1),
                                    WelcomeView::detail(1), pane.notifyRow()->detail()->text(), percent})
            EXPECT_TRUE(text.contains(tray, Qt::CaseInsensitive) && !text.contains("menu bar", Qt::CaseInsensitive)
                        && !text.contains("菜单栏"))
                << text.toStdString();
        QStringList sections;
        for (const SectionTitle* title : pane.findChildren<SectionTitle*>())
            sections << title->text();
        EXPECT_EQ(sections.filter(tray, Qt::CaseInsensitive).size(), 1) << sections.join("|").toStdString();
        EXPECT_TRUE(percent.contains(chinese ? "提示" : "tooltip")) << percent.toStdString();
    }
}
