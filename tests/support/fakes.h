#pragma once
// Stand-ins for the platform services a test cannot use for real (no sound device, no
// desktop, no dial-up link, no DNS-SD): each does nothing and notes what it was asked.

#include "desktop/clipboard.h"
#include "desktop/dialup.h"
#include "discovery/landiscovery.h"
#include "desktop/sound.h"
#include "desktop/urlopener.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tarnivel::test {

class FixedDialup : public DialupSource
{
public:
    QString address() override { return value; }
    QString value;
};

// Notes what the copy announces and whether it browses; a test emits found, lost and
// availabilityChanged itself.
class FakeLanDiscovery : public LanDiscovery
{
public:
    void announce(const LanAnnouncement &announcement) override { announced = announcement; }
    void withdraw() override { announced.reset(); }
    void startBrowsing() override { browsing = true; }
    void stopBrowsing() override { browsing = false; }

    std::optional<LanAnnouncement> announced;
    bool browsing = false;
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
