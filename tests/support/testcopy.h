#pragma once
// One complete running copy of the program inside a test process: its own main window
// (offscreen), program folder, bind address, a recording sound player and a settable
// dial-up address.

#include "fakes.h"
#include "mesh/connectionroster.h"
#include "platform/sound.h"
#include "platform/urlopener.h"
#include "ui/mainwindow.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace tarnivel::test {

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

class TestCopy
{
public:
    // n picks the bind address loopback(n); the copy starts loaded and listening.
    TestCopy(int n, const QString &name);
    ~TestCopy();

    MainWindow &window() { return *m_window; }
    Session &session() { return m_window->session(); }
    QString address() const { return m_address; }
    QString name() const { return m_name; }

    // Join the chat of the copy at this address, as the command line would (no dialog).
    void joinThrough(const QString &address);
    // Type a line and press Enter.
    void say(const QString &text);
    QString logText() const;
    QString title() const;
    int connectionCount();
    // Connected sockets whose member has greeted (named after the peer, not its address).
    int namedMemberCount();
    QStringList members();

    RecordingSound sound;
    FixedDialup dialup;
    RecordingUrlOpener urlOpener;

private:
    QTemporaryDir m_folder;
    // Shipped files (sounds, help) lie apart from the settings, as beside a read-only executable.
    QTemporaryDir m_shippedFolder;
    QString m_address;
    QString m_name;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace tarnivel::test
