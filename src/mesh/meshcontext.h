#pragma once
// What the mesh handlers of one copy share: its sockets, status, log and preferences.

#include <QString>

namespace tarnivel {

class ChatSockets;
class ConnectionStatus;
class ChatLog;
class SoundPlayer;
class RoomHooks;
class OwnAddress;
class Socket;
struct Preferences;

struct MeshContext
{
    ChatSockets &sockets;
    ConnectionStatus &status;
    ChatLog &log;
    Preferences &prefs;
    SoundPlayer &sound;
    RoomHooks &room;
    OwnAddress &ownAddress;
    QString connectSoundPath;

    // The connected line never chimes the message sound; the connection sound plays if on.
    void announceConnected(const QString &name);
    // After the last member went (and no dial of a join is still under way): back to
    // unconnected, listening on both ports.
    void resetIfNobodyLeft();

    // A chat connection (accepted or dialled) closed by the peer: the cut line, the member
    // leaves the lists, and with nobody left the copy returns to idle.
    void memberClosed(Socket &socket);
    // A chat connection failed: the error line; an aborted or reset one also cuts the member.
    void memberFailed(Socket &socket, int number, const QString &description);
};

} // namespace tarnivel
