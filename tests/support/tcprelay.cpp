#include "tcprelay.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace tarnivel::test {

TcpRelay::TcpRelay(const QHostAddress &listenAddress, const QHostAddress &target, quint16 targetPort, int holdMs,
                   quint16 port, const QHostAddress &from)
    : m_target(target)
    , m_targetPort(targetPort)
    , m_holdMs(holdMs)
    , m_from(from)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = m_server.nextPendingConnection())
            carry(client);
    });
    m_server.listen(listenAddress, port);
}

void TcpRelay::carry(QTcpSocket *client)
{
    auto *target = new QTcpSocket(client);
    QPointer<QTcpSocket> to(target);
    if (!m_from.isNull())
        target->bind(m_from, 0);
    target->connectToHost(m_target, m_targetPort);
    connect(client, &QTcpSocket::readyRead, client, [this, client, to] {
        const QByteArray bytes = client->readAll();
        fromClients += bytes;
        QTimer::singleShot(m_holdMs, client, [to, bytes] {
            if (to)
                to->write(bytes);
        });
    });
    connect(target, &QTcpSocket::readyRead, client, [this, client, target] {
        const QByteArray bytes = target->readAll();
        fromTargets += bytes;
        client->write(bytes);
    });
    // A side that hangs up is followed by the other once what it sent has gone on.
    connect(client, &QTcpSocket::disconnected, client, [this, client, to] {
        QTimer::singleShot(m_holdMs, client, [client, to] {
            if (to)
                to->disconnectFromHost();
            client->deleteLater();
        });
    });
    connect(target, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
    // A target that closes raises an error too; only a failure drops what is still unsent.
    connect(target, &QTcpSocket::errorOccurred, client, [client](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            client->abort();
    });
}

} // namespace tarnivel::test
