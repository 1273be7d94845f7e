#pragma once
// The three interface sounds. Sound::play is silent while the user's
// "sounds" preference is off (one switch, set by whoever applies the
// preferences, so no caller has to remember it), under the defaults key
// "mute" (read once per process) and while the desktop's event sounds are
// off (asked on every play). Main thread only.

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

class Defaults;

namespace Sound {

enum class Cue { welcome, reveal, confirm };

// "welcome", "reveal", "confirm": also the name of the cue's sound file.
QString name(Cue cue);
std::optional<Cue> cueFromName(const QString& name);

// The defaults key "mute" as a Bool; absent reads as false.
bool readMuted(const Defaults& defaults);

// Plays the cue from its start, cutting off the same cue if it still
// plays; or does nothing.
void play(Cue cue);

// The user's "sounds" preference as every cue obeys it; on until set.
void setEnabled(bool enabled);
bool enabled();

} // namespace Sound

// One loaded cue.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // From the start, never layered over itself.
    virtual void restart() = 0;
};

// Where players come from: the cue files in the application's resources,
// or a fake that counts in tests.
class SoundLibrary {
public:
    virtual ~SoundLibrary() = default;
    // A player at volume `volume`, or null when the cue cannot be loaded.
    virtual std::unique_ptr<SoundPlayer> load(Sound::Cue cue, double volume) = 0;
    // Whether the machine has an audio output now. Without one nothing is
    // loaded, so a device that arrives later is still used.
    virtual bool hasOutput() const { return true; }
};

// Players through Qt Multimedia from ":/sounds/NAME.wav".
class EffectLibrary final : public SoundLibrary {
public:
    std::unique_ptr<SoundPlayer> load(Sound::Cue cue, double volume) override;
    bool hasOutput() const override;
    static QString resource(Sound::Cue cue);
};

// The state behind Sound::play: the mute switch, the system switch and the
// players, each loaded on first play and kept, failures included. A play
// without an audio output loads nothing and keeps nothing; the board asks
// for an output again only after outputsChanged().
class SoundBoard {
public:
    static constexpr double volume = 0.35;

    SoundBoard(std::unique_ptr<SoundLibrary> library, bool muted, std::function<bool()> systemAllows);
    ~SoundBoard();

    void play(Sound::Cue cue);
    // The set of audio outputs has changed: the next play looks again.
    void outputsChanged() { output_.reset(); }

    // The process-wide board: resource files, "mute" from the standard
    // defaults, event sounds from DesktopSettings. Made on first use.
    static SoundBoard& shared();
    // Installs a board (not owned) in its place; nullptr restores it.
    static void install(SoundBoard* board);

private:
    std::unique_ptr<SoundLibrary> library_;
    bool muted_;
    std::function<bool()> systemAllows_;
    // Whether an output existed when last asked; unknown until a play asks.
    std::optional<bool> output_;
    std::unordered_map<int, std::unique_ptr<SoundPlayer>> players_;
};
