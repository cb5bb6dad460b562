#include "app/connectionstatus.h"

#include "app/statusview.h"
#include "directory/roomhooks.h"
#include "mesh/chatsockets.h"
#include "mesh/wire.h"

namespace tarnivel {

ConnectionStatus::ConnectionStatus(ChatSockets &sockets, StatusView &view, const Preferences &prefs,
                                   RoomHooks &room)
    : m_sockets(sockets)
    , m_view(view)
    , m_prefs(prefs)
    , m_room(room)
{
    m_peerSlot.fill(ChatSockets::MemberRows);
}

QString ConnectionStatus::unconnectedTitle()
{
    return QStringLiteral("たるにべ - 未接続");
}

QString ConnectionStatus::connectingTitle()
{
    return QStringLiteral("たるにべ - 接続中");
}

QString ConnectionStatus::connectedTitle(int count)
{
    return QStringLiteral("たるにべ - %1人接続済").arg(count);
}

void ConnectionStatus::setTitleBody(const QString &body)
{
    m_view.setTitle(body + m_room.waitTitle() + m_lockSuffix);
}

int ConnectionStatus::peerSlot(int row) const
{
    if (row < 0 || row >= int(m_peerSlot.size()))
        return ChatSockets::MemberRows;
    return m_peerSlot[row];
}

void ConnectionStatus::resetConnections()
{
    m_connectionCount = 0;

    Socket &joinServer = m_sockets.joinServer();
    joinServer.close();
    joinServer.setLocalPort(wire::JoinPort);
    joinServer.setRemotePort(0);

    Socket &joinClient = m_sockets.joinClient();
    joinClient.close();
    joinClient.setLocalPort(0);
    joinClient.setRemotePort(wire::JoinPort);
    joinClient.setRemoteHost(QString());

    Socket &listening = m_sockets.listening();
    listening.close();
    listening.setLocalPort(wire::ChatPort);
    listening.setRemotePort(0);

    for (int k = 0; k < ChatSockets::ServerSlots; ++k) {
        Socket &s = m_sockets.server(k);
        s.close();
        s.setTag(QString());
        s.setLocalPort(0);
        s.setRemotePort(0);
    }
    for (int i = 0; i < ChatSockets::ClientSlots; ++i) {
        Socket &c = m_sockets.client(i);
        c.close();
        c.setTag(QString());
        c.setLocalPort(0);
        c.setRemotePort(wire::ChatPort);
        c.setRemoteHost(QString());
    }

    m_view.setConnectMenus(true, false);
    m_inChat = false;
    setTitleBody(unconnectedTitle());
    refreshMemberList();
}

void ConnectionStatus::refreshTitle()
{
    int count = 0;
    for (int i = 0; i < ChatSockets::MemberRows; ++i) {
        if (m_sockets.server(i).isConnected())
            ++count;
        if (m_sockets.client(i).isConnected())
            ++count;
    }
    m_connectionCount = count;
    if (count > 0) {
        setTitleBody(connectedTitle(count));
    } else {
        m_inChat = false;
        setTitleBody(unconnectedTitle());
    }
}

void ConnectionStatus::refreshMemberList()
{
    if (m_prefs.showPeers != 1)
        return;
    rebuildMemberList();
}

void ConnectionStatus::rebuildMemberList()
{
    m_view.setMemberRows({});
    m_view.selectSendToAll();
    m_peerSlot.fill(ChatSockets::MemberRows);

    // Accepted and dialled connections interleaved by slot; there is room for ten rows,
    // so any further connected socket is left out of the lists.
    QStringList names;
    auto add = [&](Socket &socket, int slotValue) {
        if (!socket.isConnected() || names.size() >= int(m_peerSlot.size()))
            return;
        m_peerSlot[names.size()] = slotValue;
        names << socket.tag();
    };
    for (int i = 0; i < ChatSockets::MemberRows; ++i) {
        add(m_sockets.server(i), i);
        add(m_sockets.client(i), i + ChatSockets::MemberRows);
    }
    m_view.setMemberRows(names);
}

void ConnectionStatus::listenAgain()
{
    m_sockets.joinServer().listen();
    m_sockets.listening().listen();
}

} // namespace tarnivel
