#pragma once
// The chat connections of one running copy, seen from outside: join an address, disconnect,
// send to everyone or to chosen members, read the members; signals say what happened.
//
// Inside, every member is one connected chat socket: accepted (the member dialled our chat
// port 3220 and greeted with 0x02 + name, we answer 0x03 + our name) or dialled (we dialled
// and greeted, the member answered). The join port 4330 tells a newcomer whom to dial.
// The mesh writes its own status lines into the log.

#include "conversation/chatdelivery.h"
#include "mesh/arrivalbudget.h"
#include "mesh/chattext.h"
#include "mesh/joinhost.h"
#include "model/member.h"
#include "net/socket.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <memory>

class QTimer;

namespace tarnivel {

class ChatLog;
class ConnectionRoster;
class JoinAnswerer;
class KeyRefusals;
class NewcomerJoin;
class Outbox;
class OwnAddress;
struct Preferences;

enum class MeshState { Unconnected, Connecting, Connected };

class Mesh : public QObject, public ChatDelivery, private JoinHost
{
    Q_OBJECT
public:
    Mesh(SocketContext &context, ChatLog &log, OwnAddress &ownAddress, const Preferences &prefs,
         QObject *parent = nullptr);
    ~Mesh() override;

    // Back to unconnected: every connection closed without telling the peers, nobody listening.
    void reset() override;
    // Listen on the join port, then on the chat port. A port that cannot be had is said in
    // the log once, until it can be had again.
    void listenAgain() override;

    // The connect command, in two steps around asking for the address. startConnecting
    // refuses (false) while the copy is in a chat; otherwise it resets and shows
    // "connecting". Then either join(address) or abandonConnecting().
    bool startConnecting();
    void abandonConnecting();
    void join(const QString &address);
    // The disconnect command: cut everyone, listen again, say so.
    void disconnect();

    // ChatDelivery. Lines go out in the order they were sent, one connection per turn of
    // the event loop.
    bool inChat() const override { return m_inChat; }
    void sendToAll(const QString &line, std::function<void()> sent) override;
    void sendTo(const QList<MemberId> &members, const QString &line,
                std::function<void(const QStringList &)> sent) override;
    std::optional<QString> memberAddress(const MemberId &member) const override;

    int connectionCount() const override;
    QList<Member> members() const;
    // Lines are still going out to some members.
    bool sending() const;
    MeshState state() const { return m_state; }
    // The sockets themselves, for inspection by tests and benchmarks.
    ConnectionRoster &roster() { return *m_roster; }

    // A caller on the join port that says nothing this long is hung up on (tests shorten it).
    void setSilentJoinTimeoutMs(int ms);
    // Join callers that have asked and wait for their answer, the one being answered included.
    int waitingJoinCallers() const;
    // Whether the join port listens: it does, except while this copy's own join has not
    // reached its answering copy yet (and while a port cannot be had).
    bool joinPortListening() const;
    // Counts the joins this copy began (the connect command). Each closes the join port until
    // its join connection stands, so whoever asked the outside something meanwhile can tell
    // that the answer may have met the port closed.
    quint64 joinsBegun() const { return m_joinsBegun; }

    // Chat text that does not end a line waits at most this long for the rest of it.
    static constexpr int ChatTextHoldMs = 200;
    // Tests make the wait longer, so that two pieces sent apart are surely read apart.
    void setChatTextHoldMs(int ms) { m_chatTextHoldMs = ms; }

    // What a chat connection may send before it greets, and a member after (see
    // ArrivalBudget); tests and benchmarks make them smaller.
    void setArrivalLimits(const ArrivalLimits &limits) { m_arrivalLimits = limits; }

signals:
    // A member greeted; the connected line is already in the log.
    void memberJoined(const QString &name);
    // A chat connection ended (closed by the peer or failed).
    void memberLeft();
    // Chat text arrived from a member, as sent (a private line still holds its mark).
    void lineArrived(const QString &text);
    // Unconnected, connecting, or connected with this many connections.
    void stateChanged(MeshState state, int count);
    // Members came or went: lists showing them should be rebuilt.
    void membersChanged();
    // Whether the connect command is available (and so the disconnect command is not).
    void connectAvailableChanged(bool available);
    // A listening port that could not be had before listens now.
    void portsOpened();
    // The join port listens again after it was closed.
    void joinPortOpened();

private:
    // JoinHost
    quint64 epoch() const override { return m_epoch; }
    void refreshState() override;
    [[nodiscard]] bool listenOn(Socket &socket) override;
    void write(Socket &socket, const QString &message) override;
    void reopenJoinPort() override;

    void setState(MeshState state);

    void onConnectionRequest(int requestId);
    void onArrival(ConnectionSide side, int slot, const QByteArray &bytes);
    // The connection's budget: false when the arrival goes no further (dropped, or the
    // connection closed for it).
    [[nodiscard]] bool withinBudget(Socket &socket, bool accepted, const QByteArray &bytes);
    ArrivalBudget &budgetOf(Socket &socket);
    void onGreeted(ConnectionSide side, int slot, const QString &name);
    void onChatText(Socket &socket, const QByteArray &bytes, const QString &text);
    // Shows what a connection's held chat text has so far, now that no more is waited for.
    void releaseHeldText(Socket &socket);
    void releaseAllHeldText();
    void onClosed(Socket &socket);
    // The member's connection ends here: the cut line, the slot released, lists and title.
    void cutOff(Socket &socket);
    // A connection that sent too much before greeting: closed with one line naming its address.
    void closeUngreeted(Socket &socket);
    void onFailed(Socket &socket, int number, const QString &description);
    // Keep only the newest connection per remote address: close every other member socket
    // from the address of accepted slot k (locally, without a cut line).
    void dropDuplicatePeers(int k);
    void resetIfNobodyLeft();
    void resetKeepingJoinCallers(bool keepJoinCallers);

    ChatLog &m_log;
    const Preferences &m_prefs;
    const SocketContext &m_context;
    std::unique_ptr<ConnectionRoster> m_roster;
    std::unique_ptr<KeyRefusals> m_keyRefusals;
    std::unique_ptr<JoinAnswerer> m_joinAnswerer;
    std::unique_ptr<NewcomerJoin> m_newcomerJoin;
    Outbox *m_outbox;
    struct HeldText
    {
        ChatTextAssembly text;
        QTimer *timer;
    };
    QHash<Socket *, HeldText> m_heldText;
    int m_chatTextHoldMs = ChatTextHoldMs;
    struct Budget
    {
        quint64 connection = 0; // the Socket::connection() it belongs to
        ArrivalBudget budget;
    };
    QHash<Socket *, Budget> m_budgets;
    ArrivalLimits m_arrivalLimits;
    QElapsedTimer m_clock;
    quint64 m_epoch = 0;
    quint64 m_joinsBegun = 0;
    MeshState m_state = MeshState::Unconnected;
    bool m_inChat = false;
    QSet<quint16> m_portsReportedUnavailable;
};

} // namespace tarnivel
