// Click-to-copy: what goes on the clipboard, the confirmation's timing on
// the manual clock, the cue, the colours, and a frame clock that stops.

#include "core/l10n.h"
#include "ui/copy_text.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/scheduler.h"
#include "ui/sound.h"
#include "ui/theme.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class CountingLibrary final : public SoundLibrary {
public:
    struct Player final : SoundPlayer {
        explicit Player(int& plays) : plays(plays) {}
        void restart() override { ++plays; }
        int& plays;
    };
    explicit CountingLibrary(int& plays) : plays_(plays) {}
    std::unique_ptr<SoundPlayer> load(Sound::Cue cue, double) override
    {
        return cue == Sound::Cue::confirm ? std::make_unique<Player>(plays_) : nullptr;
    }

private:
    int& plays_;
};

class CopyTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SoundBoard::install(&board);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }
    void TearDown() override
    {
        clock.scheduler.advance(10); // let every confirmation end and settle
        SoundBoard::install(nullptr);
    }

    CopyText make(const QString& display, std::optional<QString> value = std::nullopt)
    {
        return CopyText(display, value, Fonts::mono(10), Theme::dim(), Qt::ElideMiddle);
    }
    void advance(double seconds) { clock.scheduler.advance(seconds); }

    ScopedManualScheduler clock;
    int plays = 0;
    SoundBoard board{std::make_unique<CountingLibrary>(plays), false, {}};
};

} // namespace

TEST_F(CopyTextTest, CopiesTheValueOrElseWhatItShows)
{
    CopyText pid(QStringLiteral("1234"), std::nullopt, Fonts::mono(10), Theme::dim(), Qt::ElideRight);
    pid.resize(pid.sizeHint());
    QTest::mouseClick(&pid, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("1234"));
    EXPECT_TRUE(pid.copied());
    EXPECT_EQ(plays, 1);

    CopyText path(QStringLiteral("Safari"), QStringLiteral("/usr/lib/firefox/firefox"), Fonts::font(11),
                  Theme::text(), Qt::ElideMiddle);
    path.resize(path.sizeHint());
    EXPECT_EQ(path.shownText(), QStringLiteral("Safari"));
    QTest::mouseClick(&path, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("/usr/lib/firefox/firefox"));

    // A press that leaves the text before release is no click; other
    // buttons do nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    CopyText other = make(QStringLiteral("x"));
    other.resize(40, 20);
    QTest::mousePress(&other, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&other, Qt::LeftButton, {}, QPoint(200, 5));
    QTest::mouseClick(&other, Qt::RightButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_FALSE(other.copied());
}

TEST_F(CopyTextTest, EachClickEndsTheConfirmationOnePointOneSecondsLater)
{
    CopyText text = make(QStringLiteral("10.0.0.1"));
    text.copy();
    advance(0.5);
    text.copy();
    EXPECT_TRUE(text.copied());
    advance(0.59);
    EXPECT_TRUE(text.copied());
    advance(0.01); // 1.1 s after the first click
    EXPECT_FALSE(text.copied());
    advance(0.5);  // the second click's end finds it already over
    EXPECT_FALSE(text.copied());
    EXPECT_EQ(plays, 2);
}

TEST_F(CopyTextTest, SoundsOffStillCopiesAndConfirms)
{
    CopyText text = make(QStringLiteral("443"));
    Sound::setEnabled(false);
    text.copy();
    EXPECT_EQ(plays, 0);
    EXPECT_TRUE(text.copied());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("443"));
    Sound::setEnabled(true);
    text.copy();
    EXPECT_EQ(plays, 1);
}

TEST_F(CopyTextTest, ColourFadesToCpuWithACheckmarkThenBack)
{
    CopyText text = make(QStringLiteral("/usr/bin/bash"));
    EXPECT_EQ(text.currentColor().rgb(), Theme::dim().rgb());
    EXPECT_EQ(text.checkOpacity(), 0);
    const QSize before = text.sizeHint();

    text.copy();
    EXPECT_TRUE(FrameClock::shared().running());
    EXPECT_GT(text.sizeHint().width(), before.width()); // room for the checkmark
    advance(0.5);
    EXPECT_EQ(text.currentColor().rgb(), Theme::cpu().rgb());
    EXPECT_EQ(text.checkOpacity(), 1);
    EXPECT_FALSE(FrameClock::shared().running()); // settled while confirming

    advance(1);
    EXPECT_FALSE(text.copied());
    EXPECT_EQ(text.currentColor().rgb(), Theme::dim().rgb());
    EXPECT_EQ(text.checkOpacity(), 0);
    EXPECT_EQ(text.sizeHint(), before);
    EXPECT_FALSE(FrameClock::shared().running());
}

TEST_F(CopyTextTest, HoverBrightensOnlyWhileNotConfirming)
{
    CopyText text = make(QStringLiteral("pid"));
    text.resize(text.sizeHint());
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&text, &enter);
    EXPECT_TRUE(text.hovering());
    advance(0.5);
    const QColor lit = text.currentColor();
    EXPECT_NEAR(lit.redF(), Theme::dim().redF() + 0.18, 1e-3);
    EXPECT_NEAR(lit.blueF(), Theme::dim().blueF() + 0.18, 1e-3);

    text.copy();
    advance(0.5);
    EXPECT_EQ(text.currentColor().rgb(), Theme::cpu().rgb());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&text, &leave);
    advance(1);
    EXPECT_FALSE(text.hovering());
    EXPECT_EQ(text.currentColor().rgb(), Theme::dim().rgb());
}

TEST_F(CopyTextTest, LongTextIsCutAsAskedAndTheTooltipFollowsTheLanguage)
{
    const bool chinese = L10n::isChinese();
    L10n::setChinese(false);
    CopyText text = make(QStringLiteral("/home/someone/.local/share/applications/very-long-name.desktop"));
    EXPECT_EQ(text.toolTip(), QStringLiteral("Click to copy"));
    text.resize(120, 20);
    const QString shown = text.shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/h")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("op")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_FALSE(text.grab().isNull());

    L10n::setChinese(true);
    EXPECT_EQ(make(QStringLiteral("x")).toolTip(), QStringLiteral("点击复制"));
    L10n::setChinese(chinese);
}
