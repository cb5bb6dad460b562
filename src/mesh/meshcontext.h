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
    // After the last member went: back to unconnected, listening on both ports.
    void resetIfNobodyLeft();
};

} // namespace tarnivel
