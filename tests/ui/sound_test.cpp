// The sound board against a counting fake, and the cues the build makes.

#include "platform/defaults.h"
#include "ui/sound.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

namespace {

struct Counts {
    std::map<Sound::Cue, int> loads, restarts;
    double volume = -1;
    mutable int outputChecks = 0;
};

class CountingPlayer final : public SoundPlayer {
public:
    CountingPlayer(Counts& counts, Sound::Cue cue) : counts_(counts), cue_(cue) {}
    void restart() override { ++counts_.restarts[cue_]; }

private:
    Counts& counts_;
    Sound::Cue cue_;
};

class CountingLibrary final : public SoundLibrary {
public:
    CountingLibrary(Counts& counts, bool fails = false, const bool* output = nullptr)
        : counts_(counts), fails_(fails), output_(output)
    {
    }
    bool hasOutput() const override
    {
        ++counts_.outputChecks;
        return !output_ || *output_;
    }
    std::unique_ptr<SoundPlayer> load(Sound::Cue cue, double volume) override
    {
        ++counts_.loads[cue];
        counts_.volume = volume;
        if (fails_)
            return nullptr;
        return std::make_unique<CountingPlayer>(counts_, cue);
    }

private:
    Counts& counts_;
    bool fails_;
    const bool* output_;
};

} // namespace

TEST(Sound, CuesAreNamedAfterTheirFiles)
{
    for (Sound::Cue cue : {Sound::Cue::welcome, Sound::Cue::reveal, Sound::Cue::confirm})
        EXPECT_EQ(Sound::cueFromName(Sound::name(cue)), cue);
    EXPECT_EQ(Sound::name(Sound::Cue::confirm), QStringLiteral("confirm"));
    EXPECT_EQ(Sound::cueFromName(QStringLiteral("Confirm")), std::nullopt);

    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("s.conf")));
    EXPECT_FALSE(Sound::readMuted(defaults));
    defaults.set(QStringLiteral("mute"), QStringLiteral("YES"));
    EXPECT_TRUE(Sound::readMuted(defaults));
    defaults.set(QStringLiteral("mute"), QStringLiteral("0"));
    EXPECT_FALSE(Sound::readMuted(defaults));
}

TEST(SoundBoard, LoadsEachCueOnceAtItsVolumeAndRestartsIt)
{
    Counts counts;
    SoundBoard board(std::make_unique<CountingLibrary>(counts), false, [] { return true; });
    EXPECT_TRUE(counts.loads.empty()); // nothing loads before it is played
    board.play(Sound::Cue::confirm);
    board.play(Sound::Cue::confirm);
    board.play(Sound::Cue::reveal);
    EXPECT_EQ(counts.loads[Sound::Cue::confirm], 1);
    EXPECT_EQ(counts.restarts[Sound::Cue::confirm], 2);
    EXPECT_EQ(counts.loads[Sound::Cue::reveal], 1);
    EXPECT_EQ(counts.loads[Sound::Cue::welcome], 0);
    EXPECT_DOUBLE_EQ(counts.volume, 0.35);
}

TEST(SoundBoard, SilentWhenMutedOrTheDesktopSaysNo)
{
    Counts muted;
    SoundBoard quiet(std::make_unique<CountingLibrary>(muted), true, [] { return true; });
    quiet.play(Sound::Cue::welcome);
    EXPECT_TRUE(muted.loads.empty());
    EXPECT_TRUE(muted.restarts.empty());

    // The desktop switch is asked on every play.
    Counts counts;
    bool allowed = false;
    int asked = 0;
    SoundBoard board(std::make_unique<CountingLibrary>(counts), false, [&] { return ++asked, allowed; });
    board.play(Sound::Cue::confirm);
    EXPECT_EQ(counts.restarts[Sound::Cue::confirm], 0);
    allowed = true;
    board.play(Sound::Cue::confirm);
    EXPECT_EQ(counts.restarts[Sound::Cue::confirm], 1);
    EXPECT_EQ(asked, 2);
}

TEST(SoundBoard, AFailedLoadIsRememberedToo)
{
    Counts counts;
    SoundBoard board(std::make_unique<CountingLibrary>(counts, true), false, {});
    board.play(Sound::Cue::welcome);
    board.play(Sound::Cue::welcome);
    EXPECT_EQ(counts.loads[Sound::Cue::welcome], 1);
    EXPECT_TRUE(counts.restarts.empty());
}

TEST(SoundBoard, SoundPlayGoesThroughTheInstalledBoard)
{
    Counts counts;
    SoundBoard board(std::make_unique<CountingLibrary>(counts), false, {});
    SoundBoard::install(&board);
    Sound::play(Sound::Cue::reveal);
    SoundBoard::install(nullptr);
    EXPECT_EQ(counts.restarts[Sound::Cue::reveal], 1);
}

// The cues made at build time: short 16-bit mono PCM that starts and ends in
// silence (no click) and is audible in between.
TEST(Sound, TheBuiltCuesAreShortCleanWaves)
{
    for (Sound::Cue cue : {Sound::Cue::welcome, Sound::Cue::reveal, Sound::Cue::confirm}) {
        QFile file(EffectLibrary::resource(cue));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
        const QByteArray wav = file.readAll();
        ASSERT_GT(wav.size(), 44);
        auto u16 = [&](int at) { return quint16(quint8(wav[at]) | quint8(wav[at + 1]) << 8); };
        auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
        EXPECT_EQ(wav.left(4), "RIFF");
        EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(22), 1);  // mono
        EXPECT_EQ(u32(24), 44100u);
        EXPECT_EQ(u16(34), 16);
        EXPECT_EQ(wav.mid(36, 4), "data");
        const quint32 bytes = u32(40);
        ASSERT_EQ(bytes + 44, quint32(wav.size()));
        const double seconds = bytes / 2.0 / 44100;
        EXPECT_GT(seconds, 0.1);
        EXPECT_LT(seconds, 1.5);

        auto sample = [&](quint32 i) { return qint16(u16(int(44 + 2 * i))) / 32768.0; };
        const quint32 count = bytes / 2;
        double peak = 0;
        for (quint32 i = 0; i < count; ++i)
            peak = std::max(peak, std::abs(sample(i)));
        EXPECT_GT(peak, 0.5);
        EXPECT_LE(peak, 0.81);
        EXPECT_LT(std::abs(sample(0)), 0.01);
        EXPECT_LT(std::abs(sample(count - 1)), 0.01);
    }
}

TEST(SoundBoard, WithoutAnOutputItWaitsForOneButAMissingFileStaysMissing)
{
    Counts counts, missing;
    bool output = false;
    SoundBoard board(std::make_unique<CountingLibrary>(counts, false, &output), false, {});
    SoundBoard broken(std::make_unique<CountingLibrary>(missing, true, &output), false, {});
    board.play(Sound::Cue::confirm);
    output = true; // a headset is plugged in: nothing happens until it is announced
    board.play(Sound::Cue::confirm);
    EXPECT_EQ(counts.loads[Sound::Cue::confirm], 0);
    EXPECT_EQ(counts.outputChecks, 1);
    board.outputsChanged();
    board.play(Sound::Cue::confirm);
    EXPECT_EQ(counts.restarts[Sound::Cue::confirm], 1);

    broken.play(Sound::Cue::reveal);
    broken.outputsChanged();
    broken.play(Sound::Cue::reveal);
    EXPECT_EQ(missing.loads[Sound::Cue::reveal], 1);
}
