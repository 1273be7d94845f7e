#include "ui/sound.h"

#include "platform/defaults.h"
#include "ui/desktop_settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace Sound {

QString name(Cue cue)
{
    switch (cue) {
    case Cue::welcome:
        return QStringLiteral("welcome");
    case Cue::reveal:
        return QStringLiteral("reveal");
    case Cue::confirm:
        break;
    }
    return QStringLiteral("confirm");
}

std::optional<Cue> cueFromName(const QString& text)
{
    for (Cue cue : {Cue::welcome, Cue::reveal, Cue::confirm})
        if (name(cue) == text)
            return cue;
    return std::nullopt;
}

bool readMuted(const Defaults& defaults)
{
    return defaults.boolValue(QStringLiteral("mute"), false);
}

namespace {
bool soundsOn = true;
}

void play(Cue cue)
{
    if (soundsOn)
        SoundBoard::shared().play(cue);
}

void setEnabled(bool enabled)
{
    soundsOn = enabled;
}

bool enabled()
{
    return soundsOn;
}

} // namespace Sound

namespace {

class EffectPlayer final : public SoundPlayer {
public:
    EffectPlayer(const QString& resource, double volume)
    {
        effect_.setSource(QUrl(QStringLiteral("qrc") + resource));
        effect_.setVolume(float(volume));
    }

    void restart() override
    {
        // A cue that failed to decode, or has no output device, stays quiet.
        if (effect_.status() == QSoundEffect::Error)
            return;
        effect_.stop();
        effect_.play();
    }

private:
    QSoundEffect effect_;
};

SoundBoard* installed = nullptr;

} // namespace

QString EffectLibrary::resource(Sound::Cue cue)
{
    return QStringLiteral(":/sounds/") + Sound::name(cue) + QStringLiteral(".wav");
}

std::unique_ptr<SoundPlayer> EffectLibrary::load(Sound::Cue cue, double volume)
{
    const QString path = resource(cue);
    if (!QFile::exists(path))
        return nullptr;
    return std::make_unique<EffectPlayer>(path, volume);
}

bool EffectLibrary::hasOutput() const
{
    // Without an output an effect would fail for good and complain on
    // every play.
    return !QMediaDevices::audioOutputs().isEmpty();
}

SoundBoard::SoundBoard(std::unique_ptr<SoundLibrary> library, bool muted,
                       std::function<bool()> systemAllows)
    : library_(std::move(library)), muted_(muted), systemAllows_(std::move(systemAllows))
{
}

SoundBoard::~SoundBoard() = default;

void SoundBoard::play(Sound::Cue cue)
{
    if (muted_)
        return;
    if (systemAllows_ && !systemAllows_())
        return;
    const int key = int(cue);
    auto it = players_.find(key);
    if (it == players_.end()) {
        if (!output_)
            output_ = !library_ || library_->hasOutput();
        if (!*output_)
            return;
        it = players_.emplace(key, library_ ? library_->load(cue, volume) : nullptr).first;
    }
    if (it->second)
        it->second->restart();
}

SoundBoard& SoundBoard::shared()
{
    if (installed)
        return *installed;
    // Kept to the end of the process and never destroyed: its players must
    // not outlive the application object they were made under.
    static SoundBoard* const board = [] {
        auto* made = new SoundBoard(std::make_unique<EffectLibrary>(), Sound::readMuted(Defaults::standard()),
                                    [] { return DesktopSettings::instance().eventSounds(); });
        // A headset plugged in, or an audio server that starts after us,
        // ends the silence of a session that began without an output.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            auto* devices = new QMediaDevices(app);
            QObject::connect(devices, &QMediaDevices::audioOutputsChanged, app, [made] { made->outputsChanged(); });
        }
        return made;
    }();
    return *board;
}

void SoundBoard::install(SoundBoard* board)
{
    installed = board;
}
