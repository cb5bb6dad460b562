#include "mesh/diallingside.h"

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "app/statusview.h"
#include "conversation/chatlog.h"
#include "directory/roomhooks.h"
#include "mesh/chatsockets.h"
#include "mesh/connectprompt.h"
#include "mesh/meshcontext.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "platform/codepage932.h"

namespace tarnivel {

namespace {
constexpr int CountWhenOverfull = 11;
}

DiallingSide::DiallingSide(MeshContext &mesh, StatusView &view, ConnectPrompt &prompt, QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_view(view)
    , m_prompt(prompt)
{
    for (int i = 0; i < ChatSockets::ClientSlots; ++i) {
        Socket *client = &mesh.sockets.client(i);
        connect(client, &Socket::connected, this, [this, i] { onConnected(i); });
        connect(client, &Socket::dataArrival, this, [this, i](const QByteArray &b) { onArrival(i, b); });
        connect(client, &Socket::closed, this, [this, i] { onClosed(i); });
        connect(client, &Socket::error, this, [this, i](int n, const QString &d) { onError(i, n, d); });
    }
}

void DiallingSide::connectCommand()
{
    ConnectionStatus &status = m_mesh.status;
    if (status.inChat())
        return;
    status.setConnectionCount(0);
    status.resetConnections();
    status.setTitleBody(ConnectionStatus::connectingTitle());

    if (!m_selectedServer.isEmpty()) {
        m_selectedServer.clear();
    } else {
        const std::optional<QString> address = m_prompt.askConnectAddress(m_mesh.prefs.connectAddress);
        if (!address) {
            status.setTitleBody(ConnectionStatus::unconnectedTitle());
            status.listenAgain();
            return;
        }
        m_mesh.prefs.connectAddress = *address;
    }

    const QString address = m_mesh.prefs.connectAddress;
    // A host name that cannot even be tried is refused at once, as the connect itself would be.
    if (address.trimmed().isEmpty()) {
        status.resetConnections();
        m_mesh.log.addLog(statusline::cannotConnect());
        status.listenAgain();
        return;
    }
    ChatSockets &s = m_mesh.sockets;
    s.joinClient().setRemoteHost(address);
    s.joinClient().connectToRemote();
    // Until the join connection stands this copy answers no join requests, and until the
    // peer list is handled it accepts no chat connections.
    s.joinServer().close();
    s.listening().close();
    m_mesh.log.addLog(statusline::connecting(address));
    m_view.setConnectMenus(false, true);
}

void DiallingSide::disconnectCommand()
{
    if (m_mesh.room.waiting())
        m_mesh.room.quitWaiting();
    m_selectedServer.clear();
    ConnectionStatus &status = m_mesh.status;
    status.setInChat(false);
    status.setConnectionCount(0);
    status.resetConnections();
    status.listenAgain();
    m_mesh.log.addLog(statusline::disconnected());
    status.setTitleBody(ConnectionStatus::unconnectedTitle());
}

void DiallingSide::onConnected(int i)
{
    Socket &client = m_mesh.sockets.client(i);
    client.sendData(cp932::encode(wire::hello(m_mesh.prefs.myName)));
}

void DiallingSide::onArrival(int i, const QByteArray &bytes)
{
    const QString text = cp932::decode(bytes);
    const wire::ChatArrival arrival = wire::classifyOnDialled(text);
    switch (arrival.kind) {
    case wire::ChatArrivalKind::Ignored:
        return;
    case wire::ChatArrivalKind::Welcome: {
        ConnectionStatus &status = m_mesh.status;
        status.setInChat(true);
        status.refreshTitle();
        if (status.connectionCount() == CountWhenOverfull)
            return;
        m_mesh.sockets.client(i).setTag(arrival.name);
        m_mesh.announceConnected(arrival.name);
        status.refreshMemberList();
        return;
    }
    case wire::ChatArrivalKind::Hello:
    case wire::ChatArrivalKind::ChatText:
        m_mesh.log.addLog(text);
        return;
    }
}

void DiallingSide::onClosed(int i)
{
    m_mesh.memberClosed(m_mesh.sockets.client(i));
}

void DiallingSide::onError(int i, int number, const QString &description)
{
    m_mesh.memberFailed(m_mesh.sockets.client(i), number, description);
}

} // namespace tarnivel
