#pragma once
// Asynchronous playback of short wave files. A missing file, a bad file or a machine
// without a sound device is silent; play() never blocks.

#include <QString>
#include <functional>
#include <memory>

class QObject;

namespace tarnivel {

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &wavPath) = 0;
};

// QSoundEffect-backed player; does nothing when the machine has no audio output.
// hasAudioOutput asks whether it has one (by default: the platform's list of outputs).
std::unique_ptr<SoundPlayer> createSystemSoundPlayer(QObject *parent = nullptr,
                                                     std::function<bool()> hasAudioOutput = {});

} // namespace tarnivel
