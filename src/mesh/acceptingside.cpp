#include "mesh/acceptingside.h"

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "app/statusview.h"
#include "conversation/chatlog.h"
#include "directory/roomhooks.h"
#include "mesh/chatsockets.h"
#include "mesh/meshcontext.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "platform/codepage932.h"

namespace tarnivel {

namespace {
constexpr int OverflowSlot = 10;      // takes a caller while 0..9 are busy, closed after its answer
constexpr int CountWhenOverfull = 11; // a copy counting exactly eleven connections takes nobody more
} // namespace

AcceptingSide::AcceptingSide(MeshContext &mesh, StatusView &view, QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_view(view)
{
    ChatSockets &s = mesh.sockets;
    connect(&s.listening(), &Socket::connectionRequest, this, &AcceptingSide::onConnectionRequest);
    for (int k = 0; k < ChatSockets::ServerSlots; ++k) {
        Socket *server = &s.server(k);
        connect(server, &Socket::dataArrival, this, [this, k](const QByteArray &b) { onArrival(k, b); });
        connect(server, &Socket::closed, this, [this, k] { onClosed(k); });
        connect(server, &Socket::error, this,
                [this, k](int n, const QString &d) { onError(k, n, d); });
        connect(server, &Socket::sendComplete, this, [this, k] { onSendComplete(k); });
    }
}

void AcceptingSide::onConnectionRequest(int requestId)
{
    m_view.setConnectMenus(false, true);
    ConnectionStatus &status = m_mesh.status;
    status.refreshTitle();

    int slot = OverflowSlot;
    for (int k = 0; k < ChatSockets::MemberRows; ++k) {
        if (!m_mesh.sockets.server(k).isConnected()) {
            slot = k;
            break;
        }
    }
    // Left unaccepted, the request is closed by the socket layer.
    if (status.connectionCount() == CountWhenOverfull)
        return;
    Socket &server = m_mesh.sockets.server(slot);
    server.close();
    server.accept(requestId);
}

void AcceptingSide::onArrival(int k, const QByteArray &bytes)
{
    const QString text = cp932::decode(bytes);
    const wire::ChatArrival arrival = wire::classifyOnAccepted(text);
    switch (arrival.kind) {
    case wire::ChatArrivalKind::Ignored:
        return;
    case wire::ChatArrivalKind::Hello: {
        ConnectionStatus &status = m_mesh.status;
        status.setInChat(true);
        dropDuplicatePeers(k);
        status.refreshTitle();
        if (status.connectionCount() == CountWhenOverfull)
            return;
        Socket &server = m_mesh.sockets.server(k);
        server.setTag(arrival.name);
        m_mesh.announceConnected(arrival.name);
        // The announcement may have run nothing else, but the socket is re-checked anyway.
        if (server.isConnected())
            server.sendData(cp932::encode(wire::welcome(m_mesh.prefs.myName)));
        status.refreshMemberList();
        return;
    }
    case wire::ChatArrivalKind::Welcome:
    case wire::ChatArrivalKind::ChatText:
        m_mesh.log.addLog(text);
        return;
    }
}

void AcceptingSide::dropDuplicatePeers(int k)
{
    ChatSockets &s = m_mesh.sockets;
    const QString address = s.server(k).remoteHostIP();
    for (int i = 0; i < ChatSockets::MemberRows; ++i) {
        if (i != k && s.server(i).remoteHostIP() == address)
            s.server(i).close();
        if (s.client(i).remoteHostIP() == address)
            s.client(i).close();
    }
}

void AcceptingSide::onClosed(int k)
{
    m_mesh.memberClosed(m_mesh.sockets.server(k));
}

void AcceptingSide::onError(int k, int number, const QString &description)
{
    m_mesh.memberFailed(m_mesh.sockets.server(k), number, description);
}

void AcceptingSide::onSendComplete(int k)
{
    if (k == OverflowSlot)
        m_mesh.sockets.server(k).close();
}

} // namespace tarnivel
