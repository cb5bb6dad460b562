#include "mesh/joinnegotiation.h"

#include "address/ownaddress.h"
#include "conversation/chatlog.h"
#include "mesh/connectionroster.h"
#include "mesh/joinhost.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "platform/logging.h"

#include <QTimer>

namespace tarnivel {

namespace {
constexpr int FullCount = 10;
}

JoinNegotiation::JoinNegotiation(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, OwnAddress &ownAddress,
                                 QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_roster(roster)
    , m_log(log)
    , m_ownAddress(ownAddress)
    , m_silenceTimer(new QTimer(this))
{
    m_silenceTimer->setSingleShot(true);
    m_silenceTimer->setInterval(SilentRequestTimeoutMs);
    connect(m_silenceTimer, &QTimer::timeout, this, &JoinNegotiation::hangUpAndListen);

    Socket *server = &roster.joinServer();
    connect(server, &Socket::connectionRequest, this, &JoinNegotiation::onRequestConnection);
    connect(server, &Socket::dataArrival, this, &JoinNegotiation::onRequestArrival);
    connect(server, &Socket::sendComplete, this, &JoinNegotiation::onReplySent);
    connect(server, &Socket::error, this, &JoinNegotiation::onRequestError);
    connect(server, &Socket::closed, this, &JoinNegotiation::onRequestClosed);

    Socket *client = &roster.joinClient();
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
    ++m_conversation;
    m_answerPending = false;
    // One conversation at a time: the listener (or a conversation still going) makes room.
    Socket &server = m_roster.joinServer();
    server.close();
    server.accept(requestId);
    m_silenceTimer->start();
}

void JoinNegotiation::onRequestArrival(const QByteArray &bytes)
{
    // One answer per conversation: more bytes while it is being prepared change nothing.
    if (m_answerPending)
        return;
    m_silenceTimer->stop();
    m_mesh.refreshState();
    const QString text = wire::decode(bytes);
    if (!wire::isJoinRequest(text)) {
        // A stray caller: hang up on it, keep the chat.
        m_log.addLog(statusline::joinError());
        hangUpAndListen();
        return;
    }
    // The own address goes first in the answer; an address server may take up to 5 s to
    // give it, and everything else goes on meanwhile.
    m_answerPending = true;
    const quint64 conversation = m_conversation;
    m_ownAddress.findMyAddress(this, [this, conversation] {
        if (conversation == m_conversation)
            answerJoinRequest();
    });
}

void JoinNegotiation::answerJoinRequest()
{
    m_answerPending = false;
    Socket &server = m_roster.joinServer();
    if (!server.isConnected()) // the caller left during the lookup
        return hangUpAndListen();

    QString reply;
    if (m_mesh.connectionCount() == FullCount) {
        reply = wire::full();
    } else {
        m_log.addLog(statusline::joinRequestCame(server.remoteHostIP()));
        QStringList peers;
        for (const Socket *s : m_roster.connectedSockets())
            peers << s->remoteHostIP();
        reply = wire::peerList(m_ownAddress.myAddress(), peers);
    }
    qCDebug(lcJoin) << "answering" << server.remoteHostIP() << reply.size() << "characters";
    m_mesh.write(server, reply);
}

void JoinNegotiation::onReplySent()
{
    hangUpAndListen();
}

void JoinNegotiation::onRequestError(int, const QString &description)
{
    m_log.addLog(statusline::joinAnswerError(description));
    hangUpAndListen();
}

void JoinNegotiation::onRequestClosed()
{
    // The caller hung up before (or instead of) asking.
    hangUpAndListen();
}

void JoinNegotiation::hangUpAndListen()
{
    ++m_conversation;
    m_answerPending = false;
    m_silenceTimer->stop();
    Socket &server = m_roster.joinServer();
    server.close();
    (void)m_mesh.listenOn(server); // a failure is reported there
}

// ---- Newcomer -------------------------------------------------------------------------

void JoinNegotiation::onJoinConnected()
{
    m_replyReceived = false;
    // The connect command closed the join listener; answer join requests again.
    Socket &server = m_roster.joinServer();
    server.close();
    (void)m_mesh.listenOn(server); // a failure is reported there
    m_mesh.write(m_roster.joinClient(), wire::joinRequest());
}

void JoinNegotiation::onReplyArrival(const QByteArray &bytes)
{
    m_replyReceived = true;
    const wire::JoinReply reply = wire::classifyJoinReply(wire::decode(bytes));
    qCDebug(lcJoin) << "reply" << int(reply.kind) << reply.fields;
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
    ConnectionRoster &s = m_roster;
    const QString myAddress = m_ownAddress.myAddress();
    s.listening().close();
    for (int j = 0; j < fields.size() && j < ConnectionRoster::DialledSlots; ++j) {
        QString address = fields.at(j);
        // The answering copy lists itself first; when it does not know its own address the
        // field is empty, and the address we reached it at stands in.
        if (j == 0 && address.isEmpty())
            address = s.joinClient().remoteHostIP();
        if (address.isEmpty() || address == myAddress)
            continue;
        Socket &client = s.dialled(j);
        client.close();
        client.setLocalPort(0);
        client.setRemoteHost(address);
        client.connectToRemote();
        client.setMemberName(address);
    }
    // The chat port listens again once pending events have run, so that the dials get under
    // way first; a reset or another join meanwhile has the last word.
    QMetaObject::invokeMethod(
        this,
        [this, epoch = m_mesh.epoch()] {
            if (epoch != m_mesh.epoch())
                return;
            m_roster.listening().close();
            (void)m_mesh.listenOn(m_roster.listening()); // a failure is reported there
        },
        Qt::QueuedConnection);
}

void JoinNegotiation::giveUpJoin(const QString &line)
{
    m_log.addLog(line);
    m_mesh.reset();
    m_mesh.listenAgain();
}

void JoinNegotiation::onJoinError(int, const QString &description)
{
    giveUpJoin(statusline::joinAskError(description));
}

void JoinNegotiation::onJoinClosed()
{
    Socket &client = m_roster.joinClient();
    client.close();
    // Hung up without any answer: the join cannot go on, so say so rather than stay
    // "connecting" for ever.
    if (!m_replyReceived)
        giveUpJoin(statusline::joinError());
}

} // namespace tarnivel
