#include "net/tlslistener.h"

#include "net/invitetls.h"
#include "text/logging.h"
#include "net/socket.h"

#include <QSslCipher>
#include <QSslPreSharedKeyAuthenticator>
#include <QSslSocket>
#include <QTimer>

namespace tarnivel {

namespace {
// Every TLS connection opens with a handshake record; a copy without a key opens with its
// greeting (0x02), which is refused at once instead of waiting out the time-out.
constexpr char HandshakeRecord = 0x16;
} // namespace

TlsListener::TlsListener(SocketContext &context, QByteArray psk, QObject *parent)
    : QTcpServer(parent)
    , m_context(context)
    , m_psk(std::move(psk))
{}

void TlsListener::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_handshakes.size() >= MaxHandshakes)
        dropLongestWaiting();
    socket->setSslConfiguration(invitetls::configuration());
    Handshake &handshake = m_handshakes[socket];
    handshake.address = dottedAddress(socket->peerAddress());
    handshake.order = ++m_accepted;
    handshake.deadline = new QTimer(socket);
    handshake.deadline->setSingleShot(true);
    connect(handshake.deadline, &QTimer::timeout, this, [this, socket] { onFailed(socket); });
    handshake.deadline->start(m_context.handshakeTimeoutMs());
    connect(socket, &QSslSocket::preSharedKeyAuthenticationRequired, this,
            [this](QSslPreSharedKeyAuthenticator *authenticator) { invitetls::answer(*authenticator, m_psk, false); });
    connect(socket, &QIODevice::readyRead, this, [this, socket] { onFirstBytes(socket); });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] { onEncrypted(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { onFailed(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { onFailed(socket); });
}

void TlsListener::onFirstBytes(QSslSocket *socket)
{
    const auto it = m_handshakes.find(socket);
    if (it == m_handshakes.end() || it->started)
        return;
    char first = 0;
    if (socket->peek(&first, 1) != 1)
        return;
    it->started = true;
    if (first != HandshakeRecord) {
        end(socket, true);
        return;
    }
    socket->startServerEncryption();
}

void TlsListener::onEncrypted(QSslSocket *socket)
{
    const auto it = m_handshakes.find(socket);
    if (it == m_handshakes.end())
        return;
    qCDebug(lcNet) << "handshake with" << it->address << "done:" << socket->sessionCipher().name();
    delete it->deadline;
    m_handshakes.erase(it);
    disconnect(socket, nullptr, this, nullptr);
    addPendingConnection(socket);
}

void TlsListener::onFailed(QSslSocket *socket)
{
    const auto it = m_handshakes.find(socket);
    if (it == m_handshakes.end())
        return;
    if (it->started)
        qCDebug(lcNet) << "handshake with" << it->address << "failed:" << socket->errorString();
    end(socket, it->started);
}

void TlsListener::end(QSslSocket *socket, bool reportMismatch)
{
    const QString address = m_handshakes.take(socket).address;
    disconnect(socket, nullptr, this, nullptr);
    // Closed by its deletion: an abort from inside its own signals would pull its record
    // handling from under it.
    socket->deleteLater();
    // A listener closed meanwhile reports nothing more: nobody is listening for it.
    if (reportMismatch && isListening())
        m_context.reportKeyMismatch(address, false);
}

void TlsListener::dropLongestWaiting()
{
    QSslSocket *longest = nullptr;
    quint64 order = 0;
    for (auto it = m_handshakes.cbegin(); it != m_handshakes.cend(); ++it) {
        if (!longest || it->order < order) {
            longest = it.key();
            order = it->order;
        }
    }
    if (longest) {
        qCDebug(lcNet) << "too many handshakes at once: dropping the one from" << m_handshakes.value(longest).address;
        end(longest, false);
    }
}

} // namespace tarnivel
