#pragma once
// One running copy of the program: its preferences, sockets, log and the mesh handlers,
// wired together. The main window owns one; tests create several side by side.

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "conversation/chatlog.h"
#include "conversation/composer.h"
#include "directory/roomhooks.h"
#include "mesh/acceptingside.h"
#include "mesh/chatsockets.h"
#include "mesh/diallingside.h"
#include "mesh/joinnegotiation.h"
#include "mesh/meshcontext.h"
#include "address/ownaddress.h"
#include "platform/dialup.h"
#include "platform/http.h"
#include "platform/socket.h"
#include "platform/sound.h"

#include <QHostAddress>
#include <QObject>
#include <QTextDocument>
#include <memory>

namespace tarnivel {

class StatusView;
class ComposerView;
class ConnectPrompt;
class LifecycleView;

struct SessionOptions
{
    QString programFolder;
    QHostAddress bindAddress;          // null: all IPv4 addresses
    DialupSource *dialup = nullptr;    // null: the machine's own point-to-point links
    SoundPlayer *sound = nullptr;      // null: the system's sound output
};

class Session : public QObject
{
    Q_OBJECT
public:
    Session(const SessionOptions &options, StatusView &statusView, ComposerView &composerView,
            ConnectPrompt &prompt, QObject *parent = nullptr);
    ~Session() override;

    // Loading the main window: reset, read settings, listen, show, act on the command line.
    void load(const QString &commandLine, LifecycleView &view);
    // Unloading: leave any room, cut every connection, save the settings.
    void unload(LifecycleView &view);

    QString programFile(const QString &name) const;
    QString settingsPath() const { return programFile(QStringLiteral("tarnivel.dat")); }

    Preferences prefs;
    QTextDocument logDocument;  // txtWin
    QTextDocument heldDocument; // txtLock

    SocketContext &socketContext() { return m_context; }
    ChatSockets &sockets() { return m_sockets; }
    ChatLog &log() { return m_log; }
    ConnectionStatus &status() { return m_status; }
    OwnAddress &ownAddress() { return m_ownAddress; }
    DiallingSide &dialling() { return m_dialling; }
    AcceptingSide &accepting() { return m_accepting; }
    JoinNegotiation &join() { return m_join; }
    Composer &composer() { return m_composer; }
    RoomHooks &room() { return m_room; }

private:
    QString m_programFolder;
    std::unique_ptr<SoundPlayer> m_ownSound;
    std::unique_ptr<DialupSource> m_ownDialup;
    SoundPlayer &m_sound;
    DialupSource &m_dialup;
    SocketContext m_context;
    ChatSockets m_sockets;
    NoRoom m_room;
    ChatLog m_log;
    HttpClient m_http;
    OwnAddress m_ownAddress;
    ConnectionStatus m_status;
    MeshContext m_mesh;
    AcceptingSide m_accepting;
    DiallingSide m_dialling;
    JoinNegotiation m_join;
    Composer m_composer;
};

} // namespace tarnivel
