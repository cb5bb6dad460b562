#include "mesh/joinnegotiation.h"

#include "address/ownaddress.h"
#include "app/connectionstatus.h"
#include "conversation/chatlog.h"
#include "mesh/chatsockets.h"
#include "mesh/meshcontext.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "platform/codepage932.h"

#include <QCoreApplication>
#include <QTimer>

namespace tarnivel {

namespace {
constexpr int FullCount = 10;
}

JoinNegotiation::JoinNegotiation(MeshContext &mesh, QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_silenceTimer(new QTimer(this))
{
    m_silenceTimer->setSingleShot(true);
    m_silenceTimer->setInterval(SilentRequestTimeoutMs);
    connect(m_silenceTimer, &QTimer::timeout, this, &JoinNegotiation::hangUpAndListen);

    Socket *server = &mesh.sockets.joinServer();
    connect(server, &Socket::connectionRequest, this, &JoinNegotiation::onRequestConnection);
    connect(server, &Socket::dataArrival, this, &JoinNegotiation::onRequestArrival);
    connect(server, &Socket::sendComplete, this, &JoinNegotiation::onReplySent);
    connect(server, &Socket::error, this, &JoinNegotiation::onRequestError);
    connect(server, &Socket::closed, this, &JoinNegotiation::onRequestClosed);

    Socket *client = &mesh.sockets.joinClient();
    connect(client, &Socket::connected, this, &JoinNegotiation::onJoinConnected);
    connect(client, &Socket::dataArrival, this, &JoinNegotiation::onReplyArrival);
    connect(client, &Socket::error, this, &JoinNegotiation::onJoinError);
    connect(client, &Socket::closed, this, &JoinNegotiation::onJoinClosed);
}

void JoinNegotiation::setSilentRequestTimeoutMs(int ms)
{
    m_silenceTimer->setInterval(ms);
}

// ---- Answering side -------------------------------------------------------------------

void JoinNegotiation::onRequestConnection(int requestId)
{
    // One conversation at a time: the listener (or a conversation still going) makes room.
    Socket &server = m_mesh.sockets.joinServer();
    server.close();
    server.accept(requestId);
    m_silenceTimer->start();
}

void JoinNegotiation::onRequestArrival(const QByteArray &bytes)
{
    m_silenceTimer->stop();
    ConnectionStatus &status = m_mesh.status;
    status.refreshTitle();
    const QString text = cp932::decode(bytes);
    if (!wire::isJoinRequest(text)) {
        // A stray caller: hang up on it, keep the chat.
        m_mesh.log.addLog(statusline::joinError());
        hangUpAndListen();
        return;
    }

    m_mesh.ownAddress.findMyAddress(); // may block while an address server answers
    Socket &server = m_mesh.sockets.joinServer();
    if (!server.isConnected()) // the caller left during the lookup
        return hangUpAndListen();

    QString reply;
    if (status.connectionCount() == FullCount) {
        reply = wire::full();
    } else {
        m_mesh.log.addLog(statusline::joinRequestCame(server.remoteHostIP()));
        QStringList peers;
        ChatSockets &s = m_mesh.sockets;
        for (int k = 0; k < ChatSockets::MemberRows; ++k) {
            if (s.server(k).isConnected())
                peers << s.server(k).remoteHostIP();
            if (s.client(k).isConnected())
                peers << s.client(k).remoteHostIP();
        }
        reply = wire::peerList(m_mesh.ownAddress.myAddress(), peers);
    }
    server.sendData(cp932::encode(reply));
}

void JoinNegotiation::onReplySent()
{
    hangUpAndListen();
}

void JoinNegotiation::onRequestError(int, const QString &description)
{
    m_mesh.log.addLog(statusline::joinAnswerError(description));
    hangUpAndListen();
}

void JoinNegotiation::onRequestClosed()
{
    // The caller hung up before (or instead of) asking.
    hangUpAndListen();
}

void JoinNegotiation::hangUpAndListen()
{
    m_silenceTimer->stop();
    Socket &server = m_mesh.sockets.joinServer();
    server.close();
    server.listen();
}

// ---- Newcomer -------------------------------------------------------------------------

void JoinNegotiation::onJoinConnected()
{
    m_replyReceived = false;
    // The connect command closed the join listener; answer join requests again.
    Socket &server = m_mesh.sockets.joinServer();
    server.close();
    server.listen();
    m_mesh.sockets.joinClient().sendData(cp932::encode(wire::joinRequest()));
}

void JoinNegotiation::onReplyArrival(const QByteArray &bytes)
{
    m_replyReceived = true;
    const wire::JoinReply reply = wire::classifyJoinReply(cp932::decode(bytes));
    switch (reply.kind) {
    case wire::JoinReplyKind::PeerList:
        dialPeerList(reply.fields);
        return;
    case wire::JoinReplyKind::Full:
        giveUpJoin(statusline::chatFull());
        return;
    case wire::JoinReplyKind::Error:
        giveUpJoin(statusline::joinError());
        return;
    }
}

void JoinNegotiation::dialPeerList(const QStringList &fields)
{
    ChatSockets &s = m_mesh.sockets;
    const QString myAddress = m_mesh.ownAddress.myAddress();
    s.listening().close();
    for (int j = 0; j < fields.size() && j < ChatSockets::ClientSlots; ++j) {
        QString address = fields.at(j);
        // The answering copy lists itself first; when it does not know its own address the
        // field is empty, and the address we reached it at stands in.
        if (j == 0 && address.isEmpty())
            address = s.joinClient().remoteHostIP();
        if (address.isEmpty() || address == myAddress)
            continue;
        Socket &client = s.client(j);
        client.close();
        client.setLocalPort(0);
        client.setRemoteHost(address);
        client.connectToRemote();
        client.setTag(address);
    }
    QCoreApplication::processEvents();
    s.listening().close();
    s.listening().listen();
}

void JoinNegotiation::giveUpJoin(const QString &line)
{
    m_mesh.log.addLog(line);
    m_mesh.status.resetConnections();
    m_mesh.status.listenAgain();
}

void JoinNegotiation::onJoinError(int, const QString &description)
{
    giveUpJoin(statusline::joinAskError(description));
}

void JoinNegotiation::onJoinClosed()
{
    Socket &client = m_mesh.sockets.joinClient();
    client.close();
    // Hung up without any answer: the join cannot go on, so say so rather than stay
    // "connecting" for ever.
    if (!m_replyReceived)
        giveUpJoin(statusline::joinError());
}

} // namespace tarnivel
