#include "mesh/joinanswerer.h"

#include "address/ownaddress.h"
#include "conversation/chatlog.h"
#include "mesh/joinhost.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "text/logging.h"

#include <QTimer>

namespace tarnivel {

namespace {
constexpr int FullCount = 10;
}

JoinAnswerer::JoinAnswerer(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, OwnAddress &ownAddress,
                           QObject *parent)
    : QObject(parent)
    , m_mesh(mesh)
    , m_roster(roster)
    , m_log(log)
    , m_ownAddress(ownAddress)
{
    connect(&roster.joinListener(), &Socket::connectionRequest, this, &JoinAnswerer::onConnectionRequest);
    for (int i = 0; i < ConnectionRoster::JoinCallerSlots; ++i) {
        Socket *s = &roster.joinCaller(i);
        Caller &caller = m_callers[i];
        caller.silence = new QTimer(this);
        caller.silence->setSingleShot(true);
        caller.silence->setInterval(SilentCallerTimeoutMs);
        connect(caller.silence, &QTimer::timeout, this, [this, i] { hangUp(i); });
        connect(s, &Socket::dataArrival, this, [this, i](const QByteArray &bytes) { onArrival(i, bytes); });
        connect(s, &Socket::sendComplete, this, [this, i] { onSent(i); });
        connect(s, &Socket::error, this, [this, i](int, const QString &description) { onFailed(i, description); });
        connect(s, &Socket::closed, this, [this, i] { onHungUp(i); });
    }
}

JoinAnswerer::~JoinAnswerer() = default;

void JoinAnswerer::setSilentCallerTimeoutMs(int ms)
{
    for (Caller &caller : m_callers)
        caller.silence->setInterval(ms);
}

int JoinAnswerer::waitingCallers() const
{
    return int(m_requests.size()) + (m_answering ? 1 : 0);
}

void JoinAnswerer::dropAll()
{
    for (int i = 0; i < ConnectionRoster::JoinCallerSlots; ++i)
        hangUp(i);
}

// ---- Callers ----------------------------------------------------------------------------

std::optional<int> JoinAnswerer::slotForNewCaller()
{
    std::optional<int> longestSilent;
    for (int i = 0; i < ConnectionRoster::JoinCallerSlots; ++i) {
        const Caller &caller = m_callers[i];
        if (caller.acceptedOrder == 0)
            return i;
        if (!caller.spoke && (!longestSilent || caller.acceptedOrder < m_callers[*longestSilent].acceptedOrder))
            longestSilent = i;
    }
    if (longestSilent) {
        qCDebug(lcJoin) << "every join slot taken: hanging up on the longest-silent caller"
                        << m_roster.joinCaller(*longestSilent).remoteHostIP();
        hangUp(*longestSilent);
    }
    return longestSilent;
}

void JoinAnswerer::onConnectionRequest(int requestId)
{
    // Every slot holds a caller that has asked and waits its turn: this one is refused (left
    // unaccepted, the socket layer closes it), the others are answered soon.
    const std::optional<int> slot = slotForNewCaller();
    if (!slot)
        return;
    Caller &caller = m_callers[*slot];
    m_roster.joinCaller(*slot).accept(requestId);
    if (!m_roster.joinCaller(*slot).isConnected())
        return;
    caller.acceptedOrder = ++m_acceptedCount;
    caller.spoke = false;
    caller.request.clear();
    caller.silence->start();
}

void JoinAnswerer::onArrival(int slot, const QByteArray &bytes)
{
    Caller &caller = m_callers[slot];
    // One answer per caller: what follows its first arrival changes nothing.
    if (caller.spoke || caller.acceptedOrder == 0)
        return;
    caller.spoke = true;
    caller.silence->stop();
    caller.request = wire::decode(bytes);
    m_requests.push_back(slot);
    answerNext();
}

void JoinAnswerer::answerNext()
{
    while (!m_answering && !m_requests.empty()) {
        const int slot = m_requests.front();
        m_requests.pop_front();
        Socket &socket = m_roster.joinCaller(slot);
        if (!socket.isConnected()) {
            hangUp(slot);
            continue;
        }
        m_mesh.refreshState();
        if (!wire::isJoinRequest(m_callers[slot].request)) {
            // A stray caller: hang up on it, keep the chat.
            m_log.addLog(statusline::joinError());
            hangUp(slot);
            continue;
        }
        // The own address goes first in the answer; an address server may take up to 5 s
        // to give it, and everything else goes on meanwhile.
        m_answering = slot;
        m_ownAddress.findMyAddress(this, [this, slot, connection = socket.connection()] {
            if (m_answering == slot && m_roster.joinCaller(slot).connection() == connection)
                answer(slot);
        });
    }
}

void JoinAnswerer::answer(int slot)
{
    Socket &socket = m_roster.joinCaller(slot);
    QString reply;
    if (m_mesh.connectionCount() == FullCount) {
        reply = wire::full();
    } else {
        m_log.addLog(statusline::joinRequestCame(socket.remoteHostIP()));
        QStringList peers;
        for (const Socket *s : m_roster.connectedSockets())
            peers << s->remoteHostIP();
        reply = wire::peerList(m_ownAddress.myAddress(), peers);
    }
    qCDebug(lcJoin) << "answering" << socket.remoteHostIP() << reply.size() << "characters";
    // The log line's listeners may have run the event loop: the caller may be gone.
    if (!socket.isConnected()) {
        hangUp(slot);
        answerNext();
        return;
    }
    m_mesh.write(socket, reply);
}

void JoinAnswerer::onSent(int slot)
{
    if (m_answering != slot)
        return;
    hangUp(slot);
    answerNext();
}

void JoinAnswerer::onFailed(int slot, const QString &description)
{
    m_log.addLog(statusline::joinAnswerError(description));
    hangUp(slot);
    answerNext();
}

void JoinAnswerer::onHungUp(int slot)
{
    // The caller hung up before (or instead of) asking, or before its answer.
    hangUp(slot);
    answerNext();
}

void JoinAnswerer::hangUp(int slot)
{
    Caller &caller = m_callers[slot];
    caller.silence->stop();
    caller.acceptedOrder = 0;
    caller.spoke = false;
    caller.request.clear();
    std::erase(m_requests, slot);
    if (m_answering == slot)
        m_answering.reset();
    m_roster.joinCaller(slot).close();
}

} // namespace tarnivel
