#pragma once
// A listener for copies with an invite key: each connection it accepts first completes a TLS
// handshake with the key's PSK, and only then is it offered as a pending connection (a
// QSslSocket, encrypted). What a stranger may cost before that is bounded: at most
// MaxHandshakes at once (a newcomer makes room by dropping the one waiting longest), each
// dropped after the context's handshake time-out. A connection that closes without sending
// anything (a reachability probe) goes silently; one that sent something and failed is
// reported to the context as a key mismatch.

#include <QHash>
#include <QTcpServer>

class QSslSocket;
class QTimer;

namespace tarnivel {

class SocketContext;

class TlsListener : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr int MaxHandshakes = 16;

    TlsListener(SocketContext &context, QByteArray psk, QObject *parent = nullptr);

    int handshakes() const { return int(m_handshakes.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Handshake
    {
        QString address;
        QTimer *deadline = nullptr;
        quint64 order = 0;
        bool started = false; // bytes came and the handshake began
    };

    void onFirstBytes(QSslSocket *socket);
    void onEncrypted(QSslSocket *socket);
    void onFailed(QSslSocket *socket);
    void end(QSslSocket *socket, bool reportMismatch);
    void dropLongestWaiting();

    SocketContext &m_context;
    QByteArray m_psk;
    QHash<QSslSocket *, Handshake> m_handshakes;
    quint64 m_accepted = 0;
};

} // namespace tarnivel
