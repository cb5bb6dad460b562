#include "desktop/sound.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QHash>
#include <QMediaDevices>
#include <QObject>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace tarnivel {

namespace {

// One QSoundEffect per file, made on first use and kept: the file is decoded once, and
// play() only starts it. QSoundEffect loads and plays on its own, so play() returns at once.
class SystemSoundPlayer final : public SoundPlayer
{
public:
    SystemSoundPlayer(QObject *parent, std::function<bool()> hasAudioOutput)
        : m_parent(parent)
        , m_hasAudioOutput(std::move(hasAudioOutput))
    {}

    ~SystemSoundPlayer() override
    {
        for (const QPointer<QSoundEffect> &effect : std::as_const(m_effects))
            delete effect.data();
    }

    void play(const QString &wavPath) override
    {
        // With no output device QSoundEffect would only pretend to play.
        if (!m_hasAudioOutput())
            return;
        QSoundEffect *effect = effectFor(wavPath);
        if (effect)
            effect->play();
    }

private:
    QSoundEffect *effectFor(const QString &wavPath)
    {
        if (const auto it = m_effects.constFind(wavPath); it != m_effects.cend() && *it)
            return it->data();
        if (!QFileInfo(wavPath).isFile())
            return nullptr; // a missing file stays silent; look again next time
        auto *effect = new QSoundEffect(m_parent);
        effect->setSource(QUrl::fromLocalFile(wavPath));
        m_effects.insert(wavPath, effect);
        return effect;
    }

    QPointer<QObject> m_parent;
    std::function<bool()> m_hasAudioOutput;
    // Guarded: the effects are children of the parent, which may go first.
    QHash<QString, QPointer<QSoundEffect>> m_effects;
};

} // namespace

std::unique_ptr<SoundPlayer> createSystemSoundPlayer(QObject *parent, std::function<bool()> hasAudioOutput)
{
    if (!hasAudioOutput)
        hasAudioOutput = [] {
            return !QMediaDevices::audioOutputs().isEmpty();
        };
    return std::make_unique<SystemSoundPlayer>(parent, std::move(hasAudioOutput));
}

} // namespace tarnivel
