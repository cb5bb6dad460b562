#include "mesh/newcomerjoin.h"

#include "address/ownaddress.h"
#include "conversation/chatlog.h"
#include "mesh/connectionroster.h"
#include "mesh/joinhost.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "text/logging.h"

namespace tarnivel {

NewcomerJoin::NewcomerJoin(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, const OwnAddress &ownAddress,
                           QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_roster(roster)
    , m_log(log)
    , m_ownAddress(ownAddress)
{
    Socket *client = &roster.joinClient();
    connect(client, &Socket::connected, this, &NewcomerJoin::onJoinConnected);
    connect(client, &Socket::dataArrival, this, &NewcomerJoin::onReplyArrival);
    connect(client, &Socket::error, this, &NewcomerJoin::onJoinError);
    connect(client, &Socket::closed, this, &NewcomerJoin::onJoinClosed);
}

void NewcomerJoin::onJoinConnected()
{
    m_replyReceived = false;
    // The connect command closed the join listener; answer join requests again.
    m_mesh.reopenJoinPort();
    m_mesh.write(m_roster.joinClient(), wire::joinRequest());
}

void NewcomerJoin::onReplyArrival(const QByteArray &bytes)
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

void NewcomerJoin::dialPeerList(const QStringList &fields)
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

void NewcomerJoin::giveUpJoin(const QString &line)
{
    m_log.addLog(line);
    m_mesh.reset();
    m_mesh.listenAgain();
}

void NewcomerJoin::onJoinError(int, const QString &description)
{
    giveUpJoin(statusline::joinAskError(description));
}

void NewcomerJoin::onJoinClosed()
{
    Socket &client = m_roster.joinClient();
    client.close();
    // Hung up without any answer: the join cannot go on, so say so rather than stay
    // "connecting" for ever.
    if (!m_replyReceived)
        giveUpJoin(statusline::joinError());
}

} // namespace tarnivel
