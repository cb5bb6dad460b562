#pragma once
// Stand-ins for the platform services a test cannot use for real (no sound device, no
// desktop, no dial-up link): each does nothing and notes what it was asked.

#include "platform/clipboard.h"
#include "platform/dialup.h"
#include "platform/sound.h"
#include "platform/urlopener.h"

#include <QList>
#include <QStringList>
#include <QUrl>

namespace tarnivel::test {

class FixedDialup : public DialupSource
{
public:
    QString address() override { return value; }
    QString value;
};

// Plays nothing; notes every sound file it was asked to play.
class RecordingSound : public SoundPlayer
{
public:
    void play(const QString &wavPath) override { played << wavPath; }
    QStringList played;
};

// Notes every URL handed to the desktop; `accepts` says whether the desktop could open it.
class RecordingUrlOpener : public UrlOpener
{
public:
    bool open(const QUrl &url) override
    {
        opened << url;
        return accepts;
    }
    QList<QUrl> opened;
    bool accepts = true;
};

// Notes every call, in order: "clear", "set <text>".
class RecordingClipboard : public Clipboard
{
public:
    void clear() override { calls << QStringLiteral("clear"); }
    void setText(const QString &text) override { calls << QStringLiteral("set ") + text; }
    QStringList calls;
};

} // namespace tarnivel::test
