#include "net/socket.h"

#include "net/invitetls.h"
#include "net/tlslistener.h"
#include "text/logging.h"

#include <QSslCipher>
#include <QSslPreSharedKeyAuthenticator>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tarnivel {

namespace {

// The English texts the Winsock control gives with its error numbers.
QString describeError(int number)
{
    switch (number) {
    case SocketError::AddressInUse:
        return QStringLiteral("Address in use");
    case SocketError::AddressNotAvailable:
        return QStringLiteral("Address not available from the local machine");
    case SocketError::NetworkUnreachable:
        return QStringLiteral("The network cannot be reached from this host at this time");
    case SocketError::ConnectionAborted:
        return QStringLiteral("Connection is aborted due to timeout or other failure");
    case SocketError::ConnectionReset:
        return QStringLiteral("Connection is reset by remote side");
    case SocketError::TimedOut:
        return QStringLiteral("Connection is timed out");
    case SocketError::ConnectionRefused:
        return QStringLiteral("Connection is forcefully rejected");
    case SocketError::HostNotFound:
        return QStringLiteral("Authoritative answer: Host not found");
    case SocketError::PermissionDenied:
        return QStringLiteral("Permission denied");
    default:
        return QStringLiteral("Unexpected error");
    }
}

// Error number for a failure while a connection is still being made.
int dialFailureNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SocketError::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return SocketError::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return SocketError::TimedOut;
    case QAbstractSocket::NetworkError:
        return SocketError::NetworkUnreachable;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return SocketError::AddressNotAvailable;
    case QAbstractSocket::AddressInUseError:
        return SocketError::AddressInUse;
    default:
        return SocketError::ConnectionAborted;
    }
}

// Error number for a failure of an established connection (a plain close or reset by the
// peer is not a failure: it raises closed()).
int connectionFailureNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SocketError::ConnectionReset;
    default: // a peer that stopped answering (SocketTimeoutError) included: the connection is cut
        return SocketError::ConnectionAborted;
    }
}

// What the peer has not been handed yet. Inside TLS that is the plain text still to be
// encrypted and the records still to be sent.
qint64 unsentBytes(const QTcpSocket &socket)
{
    const auto *tls = qobject_cast<const QSslSocket *>(&socket);
    return socket.bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
}

// Have the kernel give up on a peer that stopped answering about timeoutMs after it last
// did. Data left unacknowledged fails the connection after 5/6 of that; on an idle connection
// keepalive probes from half of it on give that limit something to time out. The kernel then
// reports ETIMEDOUT, which the socket raises as a failed connection.
void watchForDeadPeer(QTcpSocket &socket, int timeoutMs)
{
    const int fd = int(socket.socketDescriptor());
    if (fd < 0) // already gone: nothing left to watch
        return;
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int idleSeconds = std::max(1, timeoutMs / 2000);
    const int intervalSeconds = std::max(1, timeoutMs / 12000);
    const int probes = std::max(1, (timeoutMs / 1000 - idleSeconds) / intervalSeconds);
    const unsigned userTimeoutMs = unsigned(timeoutMs) * 5 / 6;
    const auto set = [fd](int option, const auto &value) {
        if (setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value) != 0)
            qCWarning(lcNet) << "cannot watch for a dead peer:" << std::strerror(errno);
    };
    set(TCP_KEEPIDLE, idleSeconds);
    set(TCP_KEEPINTVL, intervalSeconds);
    set(TCP_KEEPCNT, probes);
    set(TCP_USER_TIMEOUT, userTimeoutMs);
}

// Let go of a connection nobody listens to any more. Bytes still queued are sent before the
// connection is closed, like a close of the Winsock control, unless the connection failed;
// the object deletes itself.
void retireNow(QTcpSocket *socket, SocketContext &context, bool sendUnsent)
{
    if (sendUnsent && socket->state() == QAbstractSocket::ConnectedState && unsentBytes(*socket) > 0) {
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        return;
    }
    socket->abort();
    context.dispose(socket);
}

void retire(QTcpSocket *socket, SocketContext &context, bool sendUnsent)
{
    // A QSslSocket raises its signals from the middle of its record handling, which an abort
    // from inside one of them pulls from under it: it is let go from the event loop.
    if (qobject_cast<QSslSocket *>(socket))
        QMetaObject::invokeMethod(
            socket, [socket, &context, sendUnsent] { retireNow(socket, context, sendUnsent); }, Qt::QueuedConnection);
    else
        retireNow(socket, context, sendUnsent);
}

} // namespace

QString dottedAddress(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4).toString() : address.toString();
}

// ---------------------------------------------------------------------------------------------

SocketContext::SocketContext(const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent)
    , m_bindAddress(bindAddress)
{}

// Parked requests and retired sockets are children of the context and go with it.
SocketContext::~SocketContext() = default;

void SocketContext::setInviteKey(InviteKeyMode mode, const QByteArray &psk)
{
    m_inviteKeyMode = mode;
    m_psk = mode == InviteKeyMode::Set ? psk : QByteArray();
}

int SocketContext::park(QTcpSocket *pending)
{
    pending->setParent(this);
    const int id = m_nextRequestId++;
    m_pending.insert(id, Waiting{pending, pending->peerAddress(), pending->peerPort()});
    return id;
}

SocketContext::Parked SocketContext::take(int requestId)
{
    const auto it = m_pending.find(requestId);
    if (it == m_pending.end())
        return {};
    const Parked parked{it->socket.data(), it->peerAddress, it->peerPort};
    m_pending.erase(it);
    return parked;
}

void SocketContext::drop(int requestId)
{
    if (QTcpSocket *socket = take(requestId).socket)
        retire(socket, *this, false);
}

void SocketContext::dispose(QObject *finished)
{
    finished->setParent(this);
    finished->deleteLater();
}

// ---------------------------------------------------------------------------------------------

Socket::Socket(SocketContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_connectTimer(new QTimer(this))
{
    m_connectTimer->setSingleShot(true);
    connect(m_connectTimer, &QTimer::timeout, this, &Socket::onConnectTimeout);
}

Socket::~Socket()
{
    ++m_generation;
    releaseServer();
    releaseConnection();
}

SocketState Socket::state() const
{
    return m_state;
}

quint16 Socket::localPort() const
{
    if (m_server)
        return m_server->serverPort();
    if (m_socket && m_state == SocketState::Connected)
        return m_socket->localPort();
    return m_localPort;
}

bool Socket::listen()
{
    close();
    if (m_context.inviteKeyMode() == InviteKeyMode::Unreadable)
        return false;
    const bool keyed = m_context.inviteKeyMode() == InviteKeyMode::Set;
    QTcpServer *server = keyed ? new TlsListener(m_context, m_context.psk(), this) : new QTcpServer(this);
    const QHostAddress address =
        m_context.bindAddress().isNull() ? QHostAddress(QHostAddress::AnyIPv4) : m_context.bindAddress();
    if (!server->listen(address, m_localPort)) {
        delete server;
        return false;
    }
    m_server = server;
    // A keyed connection is offered once its handshake is done, long after newConnection.
    if (keyed)
        connect(server, &QTcpServer::pendingConnectionAvailable, this, &Socket::onNewConnection);
    else
        connect(server, &QTcpServer::newConnection, this, &Socket::onNewConnection);
    m_state = SocketState::Listening;
    return true;
}

void Socket::accept(int requestId)
{
    const SocketContext::Parked parked = m_context.take(requestId);
    if (!parked.socket)
        return;
    close();
    adopt(parked);
}

void Socket::connectToRemote(const QString &host, quint16 port)
{
    m_remoteHost = host;
    m_remotePort = port;
    connectToRemote();
}

void Socket::connectToRemote()
{
    close();
    const InviteKeyMode keyMode = m_context.inviteKeyMode();
    QTcpSocket *socket = nullptr;
    if (keyMode == InviteKeyMode::Set) {
        auto *tls = new QSslSocket(this);
        tls->setSslConfiguration(invitetls::configuration());
        connect(tls, &QSslSocket::preSharedKeyAuthenticationRequired, this,
                [this](QSslPreSharedKeyAuthenticator *authenticator) {
                    invitetls::answer(*authenticator, m_context.psk(), true);
                });
        connect(tls, &QSslSocket::encrypted, this, &Socket::onEncrypted);
        socket = tls;
    } else {
        socket = new QTcpSocket(this);
    }
    m_socket = socket;
    connectSignals(socket);
    connect(socket, &QAbstractSocket::connected, this, &Socket::onConnected);
    connect(socket, &QAbstractSocket::stateChanged, this, &Socket::onSocketStateChanged);
    m_state = SocketState::ResolvingHost;
    m_connectTimer->start(m_context.connectTimeoutMs());

    if (keyMode == InviteKeyMode::Unreadable) {
        failLater(SocketError::PermissionDenied);
        return;
    }
    if (m_remoteHost.isEmpty()) {
        failLater(SocketError::HostNotFound);
        return;
    }
    const QHostAddress bindAddress = m_context.bindAddress();
    if (!bindAddress.isNull() && !socket->bind(bindAddress, 0)) {
        failLater(SocketError::AddressNotAvailable);
        return;
    }
    m_dialling = true;
    socket->connectToHost(m_remoteHost, m_remotePort, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
    m_dialling = false;
}

void Socket::close()
{
    ++m_generation;
    releaseServer();
    releaseConnection();
    m_state = SocketState::Closed;
}

void Socket::sendData(const QByteArray &bytes)
{
    if (m_state != SocketState::Connected || !m_socket || bytes.isEmpty() || m_sendOverflowed)
        return;
    m_sendOutstanding = true;
    m_socket->write(bytes);
    if (unsentBytes(*m_socket) > m_context.maxUnsentBytes()) {
        m_sendOverflowed = true;
        failLater(SocketError::ConnectionAborted);
    }
}

// ---------------------------------------------------------------------------------------------

void Socket::adopt(const SocketContext::Parked &parked)
{
    QTcpSocket *socket = parked.socket;
    socket->setParent(this);
    m_socket = socket;
    connectSignals(socket);
    m_state = SocketState::Connected;
    watchForDeadPeer(*socket, m_context.deadPeerTimeoutMs());
    m_remoteHostIP = dottedAddress(parked.peerAddress);
    m_remotePort = parked.peerPort;

    // Bytes (or the peer's close) may have come while the request waited to be accepted;
    // no signal will announce them again, so look once the caller has finished.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation)
                catchUp();
        },
        Qt::QueuedConnection);
}

void Socket::connectSignals(QTcpSocket *socket)
{
    // Whatever a peer sends, one arrival holds at most this much, and the rest is read on
    // later turns of the event loop: a flood cannot keep the window from the user's keys.
    socket->setReadBufferSize(MaxArrivalBytes);
    connect(socket, &QIODevice::readyRead, this, &Socket::onReadyRead);
    connect(socket, &QIODevice::bytesWritten, this, &Socket::onBytesWritten);
    if (auto *tls = qobject_cast<QSslSocket *>(socket))
        connect(tls, &QSslSocket::encryptedBytesWritten, this, &Socket::onBytesWritten);
    connect(socket, &QAbstractSocket::disconnected, this, &Socket::onPeerClosed);
    connect(socket, &QAbstractSocket::errorOccurred, this, &Socket::onSocketError);
}

void Socket::releaseConnection(bool sendUnsent)
{
    m_connectTimer->stop();
    m_sendOutstanding = false;
    m_sendOverflowed = false;
    m_handshaking = false;
    if (!m_socket)
        return;
    QTcpSocket *old = std::exchange(m_socket, nullptr);
    disconnect(old, nullptr, this, nullptr);
    // Not deleted here: this may run inside one of the old socket's own signals.
    old->setParent(&m_context);
    retire(old, m_context, sendUnsent);
}

void Socket::releaseServer()
{
    if (!m_server)
        return;
    QTcpServer *old = std::exchange(m_server, nullptr);
    disconnect(old, nullptr, this, nullptr);
    old->close();
    m_context.dispose(old);
}

void Socket::fail(int number)
{
    ++m_generation;
    releaseServer();
    releaseConnection(false); // what a failed peer has not read is of no use
    m_state = SocketState::Error;
    emit error(number, describeError(number));
}

void Socket::failLater(int number)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, number] {
            if (generation == m_generation)
                fail(number);
        },
        Qt::QueuedConnection);
}

// Hand over everything readable, again and again while handlers leave more behind (the
// socket does not repeat readyRead for bytes that came in while a handler ran the event loop).
void Socket::deliverArrivals()
{
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->readAll();
        if (bytes.isEmpty())
            return;
        emit dataArrival(bytes);
        if (!self || generation != m_generation)
            return;
    }
}

void Socket::catchUp()
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    deliverArrivals();
    if (!self || generation != m_generation)
        return;
    if (m_socket && m_socket->state() != QAbstractSocket::ConnectedState)
        onPeerClosed();
}

void Socket::onPeerClosed()
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    deliverArrivals();
    if (!self || generation != m_generation)
        return;
    ++m_generation;
    releaseConnection();
    m_state = SocketState::Closing;
    emit closed();
}

void Socket::onReadyRead()
{
    if (m_state == SocketState::Connected)
        deliverArrivals();
}

void Socket::onBytesWritten()
{
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    // A write made inside a sendComplete handler may be flushed before the handler returns,
    // and the socket does not announce that again: report it from this loop.
    while (m_socket && m_sendOutstanding && unsentBytes(*m_socket) == 0) {
        m_sendOutstanding = false;
        emit sendComplete();
        if (!self || generation != m_generation)
            return;
    }
}

void Socket::onSocketError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError socketError = m_socket->error();
    if (m_state == SocketState::Connected) {
        if (socketError == QAbstractSocket::RemoteHostClosedError) {
            onPeerClosed();
            return;
        }
        // Bytes that made it before the failure still belong to the program.
        const QPointer<Socket> self(this);
        const quint64 generation = m_generation;
        deliverArrivals();
        if (self && generation == m_generation)
            fail(connectionFailureNumber(socketError));
        return;
    }
    if (m_state != SocketState::ResolvingHost && m_state != SocketState::Connecting)
        return;
    if (m_handshaking) {
        qCDebug(lcNet) << "handshake with" << m_remoteHostIP << "failed:" << m_socket->errorString();
        failKeyMismatch();
        return;
    }
    const int number = dialFailureNumber(socketError);
    if (m_dialling)
        failLater(number); // never raise events from inside connectToRemote()
    else
        fail(number);
}

void Socket::onSocketStateChanged()
{
    if (m_state == SocketState::ResolvingHost && m_socket && m_socket->state() == QAbstractSocket::ConnectingState)
        m_state = SocketState::Connecting;
}

void Socket::onConnected()
{
    if (m_state != SocketState::ResolvingHost && m_state != SocketState::Connecting)
        return;
    if (m_dialling) {
        // Connected at once: tell the caller after connectToRemote() has returned.
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation)
                    onConnected();
            },
            Qt::QueuedConnection);
        return;
    }
    m_connectTimer->stop();
    m_remoteHostIP = dottedAddress(m_socket->peerAddress());
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket); tls && !tls->isEncrypted()) {
        // Nothing is said in the clear: the chat begins once the handshake is done.
        m_handshaking = true;
        m_connectTimer->start(m_context.handshakeTimeoutMs());
        tls->startClientEncryption();
        return;
    }
    m_state = SocketState::Connected;
    watchForDeadPeer(*m_socket, m_context.deadPeerTimeoutMs());
    emit connected();
}

void Socket::onEncrypted()
{
    if (!m_handshaking)
        return;
    qCDebug(lcNet) << "handshake with" << m_remoteHostIP
                   << "done:" << static_cast<QSslSocket *>(m_socket)->sessionCipher().name();
    m_handshaking = false;
    m_connectTimer->stop();
    m_state = SocketState::Connected;
    watchForDeadPeer(*m_socket, m_context.deadPeerTimeoutMs());
    emit connected();
}

// The peer has no invite key, or another: said once through the context, then the dial
// fails like one the peer refused.
void Socket::failKeyMismatch()
{
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    m_handshaking = false;
    m_context.reportKeyMismatch(m_remoteHostIP.isEmpty() ? m_remoteHost : m_remoteHostIP, true);
    if (self && generation == m_generation)
        fail(SocketError::ConnectionRefused);
}

void Socket::onConnectTimeout()
{
    if (m_handshaking)
        failKeyMismatch();
    else if (m_state == SocketState::ResolvingHost || m_state == SocketState::Connecting)
        fail(SocketError::TimedOut);
}

void Socket::onNewConnection()
{
    // Local reference: a handler may destroy this socket, the context outlives it.
    SocketContext &context = m_context;
    const QPointer<Socket> self(this);
    const quint64 generation = m_generation;
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *pending = m_server->nextPendingConnection();
        const int requestId = context.park(pending);
        emit connectionRequest(requestId);
        // A request nobody accepted is closed.
        context.drop(requestId);
        if (!self || generation != m_generation)
            return;
    }
}

} // namespace tarnivel
