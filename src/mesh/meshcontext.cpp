#include "mesh/meshcontext.h"

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "conversation/chatlog.h"
#include "mesh/statuslines.h"
#include "directory/roomhooks.h"
#include "mesh/chatsockets.h"
#include "platform/socket.h"
#include "platform/sound.h"

namespace tarnivel {

void MeshContext::announceConnected(const QString &name)
{
    const bool messageSound = prefs.messageSound;
    prefs.messageSound = false;
    log.addLog(statusline::connected(name));
    prefs.messageSound = messageSound;
    if (prefs.connectSound)
        sound.play(connectSoundPath);
}

void MeshContext::resetIfNobodyLeft()
{
    if (status.connectionCount() != 0)
        return;
    // A join still dialling the others is not over because one of them failed first.
    for (int i = 0; i < ChatSockets::ClientSlots; ++i) {
        const SocketState state = sockets.client(i).state();
        if (state == SocketState::ResolvingHost || state == SocketState::Connecting)
            return;
    }
    status.resetConnections();
    status.listenAgain();
}

void MeshContext::memberClosed(Socket &socket)
{
    log.addLog(statusline::cut(socket.tag()));
    if (room.waiting())
        room.pollRoom();
    socket.setTag(QString());
    // The socket is no longer connected, so the order of these does not matter.
    socket.close();
    status.refreshMemberList();
    status.refreshTitle();
    resetIfNobodyLeft();
}

void MeshContext::memberFailed(Socket &socket, int number, const QString &description)
{
    log.addLog(statusline::peerError(socket.tag(), description));
    socket.close();
    status.refreshTitle();
    if (number == SocketError::ConnectionAborted || number == SocketError::ConnectionReset) {
        log.addLog(statusline::cut(socket.tag()));
        socket.setTag(QString());
        status.refreshMemberList();
    }
    if (room.waiting())
        room.pollRoom();
    resetIfNobodyLeft();
}

} // namespace tarnivel
