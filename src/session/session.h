#pragma once
// One running copy of the program: its preferences, log, own address, chat connections and
// composer, wired together. The main window owns one; tests create several side by side,
// with or without a window.

#include "address/ownaddress.h"
#include "conversation/chatlog.h"
#include "conversation/composer.h"
#include "directory/roomexchange.h"
#include "mesh/mesh.h"
#include "model/preferences.h"
#include "session/invitekeysetting.h"
#include "session/lanpresence.h"
#include "desktop/dialup.h"
#include "discovery/landiscovery.h"
#include "net/socket.h"
#include "desktop/sound.h"
#include "desktop/urlopener.h"
#include "session/connectprompt.h"

#include <QHostAddress>
#include <QObject>
#include <QRect>
#include <QTextDocument>
#include <memory>

namespace tarnivel {

namespace test {
struct TestAccess;
}

class StatusView;
class ComposerView;
class LifecycleView;
class OutsideAccess;

struct SessionOptions
{
    // Where files the program writes live (settings, entries).
    QString programFolder;
    // Where files shipped with the program lie (sounds, help); empty: the program folder.
    QString shippedFolder;
    QHostAddress bindAddress;       // null: all IPv4 addresses
    DialupSource *dialup = nullptr; // null: the machine's own point-to-point links
    SoundPlayer *sound = nullptr;   // null: the system's sound output
    UrlOpener *urlOpener = nullptr; // null: the desktop's default handlers
    // Ask the home router to forward the ports and directory servers whether they can be
    // reached. Tests leave it off unless they build a network of their own for it.
    bool outsideAccess = true;
    int portLeaseSeconds = 3600; // how long the router is asked to forward them (tests: seconds, to see renewals)
    LanDiscovery *lanDiscovery = nullptr; // null: Avahi on the system bus
};

class Session : public QObject
{
    Q_OBJECT
public:
    Session(const SessionOptions &options, StatusView &statusView, ComposerView &composerView,
            QObject *parent = nullptr);
    ~Session() override;

    // Loading the main window: reset, read settings, listen, show, act on the command line.
    void load(const QString &commandLine, LifecycleView &view);
    // Unloading: leave any room, cut every connection, save the settings.
    void unload(LifecycleView &view);

    // The connect command: refused while the copy is in a chat; joins the chosen address
    // without asking when there is one (command line, room), otherwise asks through the
    // prompt and, once it is answered, joins what it answers or gives up when it was
    // cancelled. An answer that comes after anything else has started or ended a join
    // (another command, a room's partner, a reset, unloading) changes nothing.
    void connectCommand(ConnectPrompt &prompt);
    // A copy picked from the list of nearby copies: the connect command, as if its address
    // had been typed.
    void connectToPicked(const QString &address);
    // The next connect command joins this address without asking.
    void chooseAddress(const QString &address);
    // Join without asking (the command line, tests).
    void joinAddress(const QString &address);
    void disconnect();

    // The room commands: F2 (chooseEntry shows the entry list), F3, Shift+F3.
    void serverCommand(const RoomExchange::EntryChooser &chooseEntry);
    void quickCommand();
    void withdrawCommand();
    RoomExchange &room() { return m_room; }
    // Being found on the same network and finding the copies there.
    LanPresence &lan() { return m_lan; }
    // The invite key, which decides how chat and join connections are carried.
    InviteKeySetting &inviteKey() { return m_inviteKey; }

    const Preferences &preferences() const { return m_prefs; }
    void setMyName(const QString &name);
    void setConnectSound(bool on) { m_prefs.connectSound = on; }
    void setMessageSound(bool on) { m_prefs.messageSound = on; }
    void setAlwaysOnTop(bool on) { m_prefs.alwaysOnTop = on; }
    // The entry the quick-server command enters; empty for none.
    void setQuickServer(const QString &entry) { m_prefs.quickServer = entry; }
    // The log's look: lines appended from now on take it.
    void setLogFont(const QString &name, qint32 points)
    {
        m_prefs.logFontName = name;
        m_prefs.logFontSize = points;
    }
    void setTextColor(qint32 value) { m_prefs.textColor = value; }
    void setBackgroundColor(qint32 value) { m_prefs.backgroundColor = value; }
    // Showing the peer column rebuilds its lists.
    void setShowPeers(bool shown);
    // The last normal placement of the main window, in twips.
    void setPlacement(const QRect &twips);
    void setWindowState(WindowState state) { m_prefs.windowState = state; }

    // Lock or unlock the log (the lock command, Ctrl+L); the title carries " [ロック]" meanwhile.
    void toggleScreenLock();
    // The help command.
    void openHelp();
    UrlOpener &urlOpener() { return m_urlOpener; }

    ChatLog &log() { return m_log; }
    QTextDocument &logDocument() { return m_logDocument; }
    Composer &composer() { return m_composer; }
    OwnAddress &ownAddress() { return m_ownAddress; }
    SoundPlayer &sound() { return m_sound; }
    // Port mapping and the reachability check; null when the options leave them off.
    OutsideAccess *outsideAccess() { return m_outside.get(); }
    // The router's outside address while it forwards our ports; empty otherwise.
    QString externalAddress() const;
    // Read-only views of the chat, for the window and for tests.
    const Mesh &mesh() const { return m_mesh; }

    QString programFile(const QString &name) const;
    QString shippedFile(const QString &name) const;
    QString settingsPath() const;

private:
    friend struct test::TestAccess;

    std::optional<QString> takeChosenAddress();
    void connectTo(const QString &address);
    void connectAnswered(const std::optional<QString> &address);
    // A room's waiting partner: joined unless the copy began a join of its own meanwhile.
    void joinPartner(const QString &address);
    void showTitle();
    void showMembers();

    QString m_programFolder;
    QString m_shippedFolder;
    StatusView &m_statusView;
    Preferences m_prefs;
    QTextDocument m_logDocument;  // the log the window shows
    QTextDocument m_heldDocument; // lines held back while the log is locked
    std::unique_ptr<SoundPlayer> m_ownSound;
    std::unique_ptr<DialupSource> m_ownDialup;
    std::unique_ptr<UrlOpener> m_ownUrlOpener;
    std::unique_ptr<LanDiscovery> m_ownLanDiscovery;
    SoundPlayer &m_sound;
    DialupSource &m_dialup;
    UrlOpener &m_urlOpener;
    SocketContext m_context;
    ChatLog m_log;
    OwnAddress m_ownAddress;
    Mesh m_mesh;
    Composer m_composer;
    RoomExchange m_room;
    std::unique_ptr<OutsideAccess> m_outside;
    LanPresence m_lan;
    InviteKeySetting m_inviteKey;
    // Set when the address of the next connect command is already chosen (the start-up
    // command line, a directory room): that command then joins the stored connect address
    // without asking, and clears it.
    bool m_joinWithoutAsking = false;
    bool m_connectAvailable = true; // the connect menu item is enabled
    // Names the connect question asked last (bumped when it is answered and at unloading).
    quint64 m_connectQuestion = 0;
    quint64 m_joinsBeforeEnter = 0; // the mesh's join count when the last enter request went out
    QString m_titleBody;
    QString m_lockSuffix;
};

} // namespace tarnivel
