#include "mesh/mesh.h"

#include "conversation/chatlog.h"
#include "mesh/connectionroster.h"
#include "mesh/joinanswerer.h"
#include "mesh/keyrefusals.h"
#include "mesh/newcomerjoin.h"
#include "mesh/outbox.h"
#include "mesh/statuslines.h"
#include "mesh/wire.h"
#include "model/preferences.h"
#include "text/logging.h"

#include <QTimer>

namespace tarnivel {

namespace {
constexpr int OverflowSlot = 10;      // takes a caller while 0..9 are busy, closed after its answer
constexpr int CountWhenOverfull = 11; // a copy counting exactly eleven connections takes nobody more
} // namespace

Mesh::Mesh(SocketContext &context, ChatLog &log, OwnAddress &ownAddress, const Preferences &prefs, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_prefs(prefs)
    , m_context(context)
    , m_roster(std::make_unique<ConnectionRoster>(context))
    , m_keyRefusals(std::make_unique<KeyRefusals>(context, log))
    , m_outbox(new Outbox(this))
{
    m_joinAnswerer = std::make_unique<JoinAnswerer>(static_cast<JoinHost &>(*this), *m_roster, log, ownAddress);
    m_newcomerJoin = std::make_unique<NewcomerJoin>(static_cast<JoinHost &>(*this), *m_roster, log, ownAddress);
    m_clock.start();

    ConnectionRoster &r = *m_roster;
    connect(&r.listening(), &Socket::connectionRequest, this, &Mesh::onConnectionRequest);
    for (int k = 0; k < ConnectionRoster::AcceptedSlots; ++k) {
        Socket *s = &r.accepted(k);
        connect(s, &Socket::dataArrival, this,
                [this, k](const QByteArray &b) { onArrival(ConnectionSide::Accepted, k, b); });
        connect(s, &Socket::closed, this, [this, s] { onClosed(*s); });
        connect(s, &Socket::error, this, [this, s](int n, const QString &d) { onFailed(*s, n, d); });
        // The overflow slot only answers its caller, then hangs up.
        if (k == OverflowSlot)
            connect(s, &Socket::sendComplete, this, [s] { s->close(); });
    }
    for (int i = 0; i < ConnectionRoster::DialledSlots; ++i) {
        Socket *s = &r.dialled(i);
        connect(s, &Socket::connected, this, [this, s] { write(*s, wire::hello(m_prefs.myName)); });
        connect(s, &Socket::dataArrival, this,
                [this, i](const QByteArray &b) { onArrival(ConnectionSide::Dialled, i, b); });
        connect(s, &Socket::closed, this, [this, s] { onClosed(*s); });
        connect(s, &Socket::error, this, [this, s](int n, const QString &d) { onFailed(*s, n, d); });
    }
}

// The handlers go before the sockets they listen to, and sockets close silently.
Mesh::~Mesh() = default;

int Mesh::connectionCount() const
{
    return m_roster->connectionCount();
}

QList<Member> Mesh::members() const
{
    return m_roster->members();
}

bool Mesh::sending() const
{
    return !m_outbox->idle();
}

void Mesh::setSilentJoinTimeoutMs(int ms)
{
    m_joinAnswerer->setSilentCallerTimeoutMs(ms);
}

int Mesh::waitingJoinCallers() const
{
    return m_joinAnswerer->waitingCallers();
}

bool Mesh::joinPortListening() const
{
    return m_roster->joinListener().state() == SocketState::Listening;
}

// ---- State ----------------------------------------------------------------------------

void Mesh::setState(MeshState state)
{
    m_state = state;
    emit stateChanged(state, state == MeshState::Connected ? connectionCount() : 0);
}

void Mesh::refreshState()
{
    if (connectionCount() > 0) {
        setState(MeshState::Connected);
    } else {
        m_inChat = false;
        setState(MeshState::Unconnected);
    }
}

void Mesh::reset()
{
    resetKeepingJoinCallers(false);
}

void Mesh::resetKeepingJoinCallers(bool keepJoinCallers)
{
    // What members said before they were cut off still belongs in the log.
    releaseAllHeldText();
    ++m_epoch;
    if (!keepJoinCallers)
        m_joinAnswerer->dropAll();
    m_roster->closeAll(wire::ChatPort, wire::JoinPort, keepJoinCallers);
    emit connectAvailableChanged(true);
    m_inChat = false;
    setState(MeshState::Unconnected);
    emit membersChanged();
}

void Mesh::listenAgain()
{
    // Failures are reported inside; whichever port fails, the other still listens.
    if (!joinPortListening())
        (void)listenOn(m_roster->joinListener());
    if (m_roster->listening().state() != SocketState::Listening)
        (void)listenOn(m_roster->listening());
}

void Mesh::reopenJoinPort()
{
    if (!joinPortListening())
        (void)listenOn(m_roster->joinListener()); // a failure is reported there
}

bool Mesh::listenOn(Socket &socket)
{
    // Without a readable invite key nothing listens, and that has been said already.
    if (m_context.inviteKeyMode() == InviteKeyMode::Unreadable)
        return false;
    const quint16 port = socket.localPort();
    if (socket.listen()) {
        if (m_portsReportedUnavailable.remove(port))
            emit portsOpened();
        if (&socket == &m_roster->joinListener())
            emit joinPortOpened();
        return true;
    }
    qCWarning(lcMesh) << "cannot listen on port" << port;
    if (!m_portsReportedUnavailable.contains(port)) {
        m_portsReportedUnavailable.insert(port);
        m_log.addLog(statusline::portUnavailable(port));
    }
    return false;
}

// ---- Commands -------------------------------------------------------------------------

bool Mesh::startConnecting()
{
    if (m_inChat)
        return false;
    reset();
    ++m_joinsBegun; // the reset closed the join port, until the join connection stands
    setState(MeshState::Connecting);
    return true;
}

void Mesh::abandonConnecting()
{
    setState(MeshState::Unconnected);
    listenAgain();
}

void Mesh::join(const QString &address)
{
    // A host name that cannot even be tried is refused at once, as the connect itself would be.
    if (address.trimmed().isEmpty()) {
        setState(MeshState::Unconnected);
        m_log.addLog(statusline::cannotConnect());
        listenAgain();
        return;
    }
    qCDebug(lcJoin) << "joining through" << address;
    Socket &joinClient = m_roster->joinClient();
    joinClient.setRemoteHost(address);
    joinClient.connectToRemote();
    // Until the join connection stands this copy answers no join requests, and until the
    // peer list is handled it accepts no chat connections.
    m_joinAnswerer->dropAll();
    m_roster->joinListener().close();
    m_roster->listening().close();
    m_log.addLog(statusline::connecting(address));
    emit connectAvailableChanged(false);
}

void Mesh::disconnect()
{
    reset();
    listenAgain();
    m_log.addLog(statusline::disconnected());
}

// ---- Sending --------------------------------------------------------------------------

void Mesh::write(Socket &socket, const QString &message)
{
    qCDebug(lcMesh) << "to" << socket.remoteHostIP() << message.size() << "characters";
    socket.sendData(wire::encode(message));
}

void Mesh::sendToAll(const QString &line, std::function<void()> sent)
{
    // Every member slot in order, accepted before dialled; whoever is connected when the
    // line gets to its slot has it.
    std::vector<Outbox::Addressee> addressees;
    for (int k = 0; k < ConnectionRoster::MemberSlots; ++k) {
        addressees.push_back({&m_roster->accepted(k), std::nullopt, {}});
        addressees.push_back({&m_roster->dialled(k), std::nullopt, {}});
    }
    m_outbox->post(wire::encode(line), std::move(addressees), [sent = std::move(sent)](const QStringList &) {
        if (sent)
            sent();
    });
}

void Mesh::sendTo(const QList<MemberId> &members, const QString &line, std::function<void(const QStringList &)> sent)
{
    // Names and connections are taken now: a member that leaves meanwhile is skipped, and a
    // newcomer in its slot does not get a line meant for someone else.
    std::vector<Outbox::Addressee> addressees;
    for (const MemberId &id : members) {
        if (Socket *s = m_roster->socket(id))
            addressees.push_back({s, s->connection(), displayName(s->memberName())});
    }
    m_outbox->post(wire::encode(line), std::move(addressees), std::move(sent));
}

std::optional<QString> Mesh::memberAddress(const MemberId &member) const
{
    // The last address a socket knew stays readable after it closed.
    if (const Socket *s = m_roster->socket(member))
        return s->remoteHostIP();
    return std::nullopt;
}

// ---- Arrivals -------------------------------------------------------------------------

void Mesh::onConnectionRequest(int requestId)
{
    emit connectAvailableChanged(false);
    refreshState();

    int slot = OverflowSlot;
    for (int k = 0; k < ConnectionRoster::MemberSlots; ++k) {
        if (!m_roster->accepted(k).isConnected()) {
            slot = k;
            break;
        }
    }
    // Left unaccepted, the request is closed by the socket layer.
    if (connectionCount() == CountWhenOverfull)
        return;
    Socket &s = m_roster->accepted(slot);
    s.close();
    s.accept(requestId);
}

void Mesh::onArrival(ConnectionSide side, int slot, const QByteArray &bytes)
{
    const bool accepted = side == ConnectionSide::Accepted;
    Socket &socket = accepted ? m_roster->accepted(slot) : m_roster->dialled(slot);
    if (!withinBudget(socket, accepted, bytes))
        return;
    const QString text = wire::decode(bytes);
    const wire::ChatArrival arrival = accepted ? wire::classifyOnAccepted(text) : wire::classifyOnDialled(text);
    qCDebug(lcMesh) << (accepted ? "accepted" : "dialled") << slot << int(arrival.kind) << bytes.size() << "bytes";
    switch (arrival.kind) {
    case wire::ChatArrivalKind::Ignored:
        return;
    case wire::ChatArrivalKind::Hello:
    case wire::ChatArrivalKind::Welcome:
        // A greeting is one arrival of its own, as always.
        releaseHeldText(socket);
        if (!budgetOf(socket).greeted())
            budgetOf(socket).greet(m_clock.elapsed(), m_arrivalLimits);
        onGreeted(side, slot, arrival.name);
        return;
    case wire::ChatArrivalKind::ChatText:
        onChatText(socket, bytes, text);
        return;
    }
}

ArrivalBudget &Mesh::budgetOf(Socket &socket)
{
    Budget &budget = m_budgets[&socket];
    if (budget.connection != socket.connection())
        budget = Budget{socket.connection(), {}};
    return budget.budget;
}

bool Mesh::withinBudget(Socket &socket, bool accepted, const QByteArray &bytes)
{
    ArrivalBudget &budget = budgetOf(socket);
    if (budget.greeted()) {
        if (budget.fromMember(bytes.size(), m_clock.elapsed(), m_arrivalLimits) == ArrivalBudget::Verdict::Within)
            return true;
        qCDebug(lcMesh) << "member at" << socket.remoteHostIP() << "sent more than its budget";
        releaseHeldText(socket);
        cutOff(socket);
        return false;
    }
    // Only the greeting of this side goes on (the byte tests are wire's classification,
    // which code page 932 leaves unchanged: neither mark is ever a trail byte).
    const char greetingMark = accepted ? '\x02' : '\x03';
    if (bytes.startsWith(greetingMark) && !bytes.contains('\x04'))
        return true;
    if (budget.ungreeted(bytes.size(), m_arrivalLimits) == ArrivalBudget::Verdict::Over)
        closeUngreeted(socket);
    return false;
}

void Mesh::onChatText(Socket &socket, const QByteArray &bytes, const QString &text)
{
    auto held = m_heldText.find(&socket);
    // The usual case: whole lines, nothing held.
    if (bytes.endsWith("\r\n") && (held == m_heldText.end() || !held->text.holding())) {
        emit lineArrived(text);
        return;
    }
    if (held == m_heldText.end()) {
        auto *timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(m_chatTextHoldMs);
        Socket *s = &socket;
        connect(timer, &QTimer::timeout, this, [this, s] { releaseHeldText(*s); });
        held = m_heldText.insert(&socket, HeldText{{}, timer});
    }
    const QByteArray ready = held->text.add(bytes);
    // Waiting is bounded from the moment text is first held, however much more trickles in.
    if (!held->text.holding())
        held->timer->stop();
    else if (!held->timer->isActive())
        held->timer->start();
    if (!ready.isEmpty())
        emit lineArrived(wire::decode(ready));
}

void Mesh::releaseHeldText(Socket &socket)
{
    const auto held = m_heldText.find(&socket);
    if (held == m_heldText.end() || !held->text.holding())
        return;
    held->timer->stop();
    emit lineArrived(wire::decode(held->text.takeHeld()));
}

void Mesh::releaseAllHeldText()
{
    const QList<Socket *> sockets = m_heldText.keys();
    for (Socket *socket : sockets)
        releaseHeldText(*socket);
}

void Mesh::onGreeted(ConnectionSide side, int slot, const QString &name)
{
    const bool accepted = side == ConnectionSide::Accepted;
    m_inChat = true;
    if (accepted)
        dropDuplicatePeers(slot);
    refreshState();
    if (connectionCount() == CountWhenOverfull)
        return;
    Socket &s = accepted ? m_roster->accepted(slot) : m_roster->dialled(slot);
    s.setMemberName(name);
    m_log.addLog(statusline::connected(name), Chime::Never);
    emit memberJoined(name);
    // The listeners of memberJoined may have run the event loop.
    if (accepted && s.isConnected())
        write(s, wire::welcome(m_prefs.myName));
    emit membersChanged();
}

void Mesh::dropDuplicatePeers(int k)
{
    ConnectionRoster &r = *m_roster;
    const QString address = r.accepted(k).remoteHostIP();
    for (int i = 0; i < ConnectionRoster::MemberSlots; ++i) {
        if (i != k && r.accepted(i).remoteHostIP() == address)
            r.accepted(i).close();
        if (r.dialled(i).remoteHostIP() == address)
            r.dialled(i).close();
    }
}

// The slot is released and the lists and title are up to date before memberLeft goes out,
// so whatever its listeners start (a room renewal) finds the copy as it now is.
void Mesh::onClosed(Socket &socket)
{
    releaseHeldText(socket);
    cutOff(socket);
}

void Mesh::cutOff(Socket &socket)
{
    m_log.addLog(statusline::cut(socket.memberName()));
    socket.setMemberName(QString());
    socket.close();
    emit membersChanged();
    refreshState();
    resetIfNobodyLeft();
    emit memberLeft();
}

// Nobody greeted, so nobody leaves: no cut line and no memberLeft.
void Mesh::closeUngreeted(Socket &socket)
{
    qCDebug(lcMesh) << "closing" << socket.remoteHostIP() << "which sent too much without greeting";
    m_log.addLog(statusline::ungreetedClosed(socket.remoteHostIP()));
    socket.setMemberName(QString());
    socket.close();
    emit membersChanged();
    refreshState();
    resetIfNobodyLeft();
}

void Mesh::onFailed(Socket &socket, int number, const QString &description)
{
    releaseHeldText(socket);
    m_log.addLog(statusline::peerError(socket.memberName(), description));
    socket.close();
    refreshState();
    if (number == SocketError::ConnectionAborted || number == SocketError::ConnectionReset) {
        m_log.addLog(statusline::cut(socket.memberName()));
        socket.setMemberName(QString());
        emit membersChanged();
    }
    resetIfNobodyLeft();
    emit memberLeft();
}

void Mesh::resetIfNobodyLeft()
{
    if (connectionCount() != 0)
        return;
    // A join still dialling the others is not over because one of them failed first.
    for (int i = 0; i < ConnectionRoster::DialledSlots; ++i) {
        const SocketState state = m_roster->dialled(i).state();
        if (state == SocketState::ResolvingHost || state == SocketState::Connecting)
            return;
    }
    // Newcomers waiting for their answer still get it: our own address, for nobody else is
    // left.
    resetKeepingJoinCallers(true);
    listenAgain();
}

} // namespace tarnivel
