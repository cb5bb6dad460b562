#pragma once
// A socket control in the manner of the Winsock control, over QTcpSocket/QTcpServer.
// One object is either idle, a listener (raising ConnectionRequest) or one connection.
// Events are Qt signals; handlers run on the owning thread, one at a time.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace tarnivel {

// Winsock-style error numbers raised by Socket::error.
namespace SocketError {
inline constexpr int ConnectionAborted = 10053;
inline constexpr int ConnectionReset = 10054;
inline constexpr int TimedOut = 10060;
inline constexpr int ConnectionRefused = 10061;
inline constexpr int AddressInUse = 10048;
inline constexpr int AddressNotAvailable = 10049;
inline constexpr int PermissionDenied = 10013; // the invite key cannot be read: nothing is dialled
inline constexpr int NetworkUnreachable = 10051;
inline constexpr int HostNotFound = 11001;
} // namespace SocketError

// Values of Socket::state(), as the Winsock control numbers them.
enum class SocketState : int {
    Closed = 0,
    Open = 1,
    Listening = 2,
    ConnectionPending = 3,
    ResolvingHost = 4,
    HostResolved = 5,
    Connecting = 6,
    Connected = 7,
    Closing = 8,
    Error = 9,
};

// Peers are always reached over IPv4: their address without an IPv6 mapping prefix.
QString dottedAddress(const QHostAddress &address);

// How chat and join connections are carried: in the clear; inside TLS with the invite key's
// PSK (see invitetls.h); or not at all, because the key cannot be read and plain would
// betray the user: then nothing listens and nothing is dialled.
enum class InviteKeyMode { None, Set, Unreadable };

// Shared by all sockets of one running copy: the local address every socket binds to,
// connection requests that a listener raised and another socket may accept, and the invite key.
class SocketContext : public QObject
{
    Q_OBJECT
public:
    // A null bind address means: listeners on all IPv4 addresses, outgoing sockets unbound.
    explicit SocketContext(const QHostAddress &bindAddress = QHostAddress(), QObject *parent = nullptr);
    ~SocketContext() override;

    QHostAddress bindAddress() const { return m_bindAddress; }

    // A connect that gets no answer fails with TimedOut after this long.
    int connectTimeoutMs() const { return m_connectTimeoutMs; }
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }

    // A connection whose peer leaves more than this unread fails (ConnectionAborted), so a
    // member who never reads cannot make the copy hold ever more data for it.
    qint64 maxUnsentBytes() const { return m_maxUnsentBytes; }

    // A connection whose peer stops answering (its network gone, the machine asleep) fails
    // at most about this long after, whether idle (keepalive probes go unanswered) or sending
    // (the data stays unacknowledged). Only the kernel's timers change: nothing on the wire
    // but TCP's own keepalive segments.
    int deadPeerTimeoutMs() const { return m_deadPeerTimeoutMs; }
    void setDeadPeerTimeoutMs(int ms) { m_deadPeerTimeoutMs = ms; }

    // Listeners and connections made from now on follow this; those that stand keep theirs.
    void setInviteKey(InviteKeyMode mode, const QByteArray &psk = {});
    InviteKeyMode inviteKeyMode() const { return m_inviteKeyMode; }
    QByteArray psk() const { return m_psk; }
    // A keyed handshake that has not finished this long after the connection stood fails.
    int handshakeTimeoutMs() const { return m_handshakeTimeoutMs; }
    void setHandshakeTimeoutMs(int ms) { m_handshakeTimeoutMs = ms; }
    // Used by sockets and listeners: a handshake with the invite key failed.
    void reportKeyMismatch(const QString &address, bool dialled) { emit keyMismatch(address, dialled); }

    // An incoming connection waiting to be accepted. The peer's address is noted when it
    // arrives, because a connection the peer has closed no longer tells it.
    struct Parked
    {
        QTcpSocket *socket = nullptr;
        QHostAddress peerAddress;
        quint16 peerPort = 0;
    };

    // Used by Socket: park an incoming connection under a request id / take it out.
    int park(QTcpSocket *pending);
    Parked take(int requestId);
    void drop(int requestId);

    // A finished Qt socket or server goes once the event loop has its turn again: it may be
    // inside one of its own signals now, and no handler runs the event loop.
    void dispose(QObject *finished);

signals:
    // A peer without our invite key, or with another, dialled us (the address it came from;
    // it sent something: a connection that closes silently is no mismatch), or we dialled
    // one (the address dialled). Nothing was read from it or sent to it in the clear.
    void keyMismatch(const QString &address, bool dialled);

private:
    struct Waiting
    {
        QPointer<QTcpSocket> socket;
        QHostAddress peerAddress;
        quint16 peerPort = 0;
    };

    QHostAddress m_bindAddress;
    int m_connectTimeoutMs = 20000;
    qint64 m_maxUnsentBytes = 4 * 1024 * 1024;
    int m_deadPeerTimeoutMs = 60000;
    int m_handshakeTimeoutMs = 5000;
    InviteKeyMode m_inviteKeyMode = InviteKeyMode::None;
    QByteArray m_psk;
    int m_nextRequestId = 1;
    QHash<int, Waiting> m_pending;
};

class Socket : public QObject
{
    Q_OBJECT
public:
    // The most one dataArrival carries; more waits for the next turn of the event loop.
    static constexpr qint64 MaxArrivalBytes = 64 * 1024;

    explicit Socket(SocketContext &context, QObject *parent = nullptr);
    ~Socket() override;

    SocketState state() const;
    bool isConnected() const { return state() == SocketState::Connected; }
    // Names the connection held now: it changes whenever one ends or another begins.
    quint64 connection() const { return m_generation; }

    // The member this connection belongs to, by the name it greeted with (the dialled
    // address until the greeting arrives); empty for no member.
    QString memberName() const { return m_memberName; }
    void setMemberName(const QString &name) { m_memberName = name; }

    quint16 localPort() const;
    void setLocalPort(quint16 port) { m_localPort = port; }
    quint16 remotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    QString remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    // Dotted address of the other end; the last one known after a close, empty if never connected.
    QString remoteHostIP() const { return m_remoteHostIP; }

    // Listen on localPort() (whatever the socket held is closed first). Returns false, and
    // raises no event, when the port cannot be had (for instance because it is in use) or the
    // invite key cannot be read. With the key, a connection is requested once its TLS
    // handshake is done.
    [[nodiscard]] bool listen();
    // Take over the connection request raised (by any socket of the same context) under this id,
    // closing whatever this socket held first. An id that is no longer pending changes nothing.
    void accept(int requestId);
    // Dial remoteHost():remotePort(). With the invite key, connected() follows the TLS
    // handshake; a peer that fails it is reported to the context and fails the dial with
    // ConnectionRefused. Without a readable key the dial fails with PermissionDenied.
    void connectToRemote();
    void connectToRemote(const QString &host, quint16 port);
    // Close locally: no closed() event follows.
    void close();
    // Write bytes; sendComplete() follows once all are handed over. Past the context's
    // maxUnsentBytes the connection fails instead (after this returns).
    void sendData(const QByteArray &bytes);

signals:
    void connectionRequest(int requestId);
    void connected();
    // The bytes readable at that moment (inside TLS: decrypted), at most MaxArrivalBytes at a time.
    void dataArrival(const QByteArray &bytes);
    void sendComplete();
    // The peer closed or reset the connection.
    void closed();
    void error(int number, const QString &description);

private:
    void adopt(const SocketContext::Parked &parked);
    void connectSignals(QTcpSocket *socket);
    void releaseConnection(bool sendUnsent = true);
    void releaseServer();
    void fail(int number);
    void failLater(int number);
    void deliverArrivals();
    void catchUp();
    void onPeerClosed();
    void onReadyRead();
    void onBytesWritten();
    void onSocketError();
    void onSocketStateChanged();
    void onConnected();
    void onEncrypted();
    void failKeyMismatch();
    void onConnectTimeout();
    void onNewConnection();

    SocketContext &m_context;
    QString m_memberName;
    quint16 m_localPort = 0;
    quint16 m_remotePort = 0;
    QString m_remoteHost;
    QString m_remoteHostIP;
    SocketState m_state = SocketState::Closed;
    QTcpServer *m_server = nullptr;
    QTcpSocket *m_socket = nullptr;
    QTimer *m_connectTimer = nullptr;
    // Bumped whenever the socket lets go of what it held, so that queued work and
    // handlers that return after a close/connect can tell they belong to the past.
    quint64 m_generation = 0;
    // A write was handed over whose completion has not been reported yet.
    bool m_sendOutstanding = false;
    // The peer left too much unread: the connection is failing, nothing more is written.
    bool m_sendOverflowed = false;
    // Inside connectToRemote(): failures are reported after it returns, never from within.
    bool m_dialling = false;
    // Dialled with the invite key: the connection stands, its TLS handshake is under way.
    bool m_handshaking = false;
};

} // namespace tarnivel
