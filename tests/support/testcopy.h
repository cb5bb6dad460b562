#pragma once
// Complete running copies of the program inside a test process, each with its own program
// folder, bind address, a recording sound player and a settable dial-up address.
// TestCopy is the session alone behind fake views; WindowCopy has a real (offscreen) main
// window, for what only the window does.

#include "fakes.h"
#include "fakeviews.h"
#include "mesh/connectionroster.h"
#include "desktop/sound.h"
#include "desktop/urlopener.h"
#include "session/session.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace tarnivel {
class MainWindow;
}

namespace tarnivel::test {

// Port mapping and reachability checks: off unless the test built a network for them.
struct OutsideAccessOptions
{
    bool on = false;
    int leaseSeconds = 3600; // short to see renewals
};

// The stand-ins for a window or session a test builds by hand, around a folder of its own.
struct FakeDesktop
{
    RecordingSound sound;
    FixedDialup dialup;
    RecordingUrlOpener urlOpener;
    FakeLanDiscovery lan;
    QTemporaryDir folder;

    SessionOptions options(const QHostAddress &bindAddress);
};

// What every kind of test copy answers from its session.
class CopyBase
{
public:
    virtual ~CopyBase() = default;
    virtual Session &session() = 0;
    QString address() const { return m_address; }
    QString name() const { return m_name; }

    // Join the chat of the copy at this address, as the command line would (no dialog).
    void joinThrough(const QString &address);
    // The log as it would be saved, lines separated by LF.
    QString logText();
    int connectionCount();
    // Connected sockets whose member has greeted (named after the peer, not its address).
    int namedMemberCount();

    RecordingSound sound;
    FixedDialup dialup;
    RecordingUrlOpener urlOpener;
    // What the copy announces; nothing reaches the network unless a test gives another.
    FakeLanDiscovery lan;

protected:
    CopyBase(const QString &address, const QString &name, LanDiscovery *discovery = nullptr,
             OutsideAccessOptions outside = {});
    SessionOptions options();

    QTemporaryDir m_folder;
    // Shipped files (sounds, help) lie apart from the settings, as beside a read-only executable.
    QTemporaryDir m_shippedFolder;
    QString m_address;
    QString m_name;
    LanDiscovery *m_discovery;
    OutsideAccessOptions m_outside;
};

class TestCopy : public CopyBase
{
public:
    // n picks the bind address loopback(n); the copy starts loaded and listening.
    TestCopy(int n, const QString &name);
    // Bound to this address instead (one the test made, in a namespace of its own), and
    // finding and being found through this discovery (the real Avahi) instead of the fake.
    // With outside.on it also asks the gateway to forward its ports and directory servers
    // whether it can be reached.
    TestCopy(const QString &address, const QString &name, LanDiscovery *discovery = nullptr,
             OutsideAccessOptions outside = {});
    ~TestCopy() override;

    Session &session() override { return *m_session; }
    FakeViews &views() { return m_views; }

    // Type a line and press Enter.
    void say(const QString &text);
    QString title() const { return m_views.title; }
    void togglePeerColumn();
    // The names in the member lists, top to bottom.
    QStringList members() const;
    // The close box: leave, cut every connection, save the settings.
    void close();

private:
    FakeViews m_views;
    std::unique_ptr<Session> m_session;
    bool m_closed = false;
};

class WindowCopy : public CopyBase
{
public:
    WindowCopy(int n, const QString &name);
    WindowCopy(const QString &address, const QString &name, LanDiscovery *discovery = nullptr,
               OutsideAccessOptions outside = {});
    ~WindowCopy() override;

    MainWindow &window() { return *m_window; }
    Session &session() override;
    void say(const QString &text);
    QString title() const;
    QStringList members();

private:
    std::unique_ptr<MainWindow> m_window;
};

} // namespace tarnivel::test
