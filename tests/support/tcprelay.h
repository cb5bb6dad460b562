#pragma once
// A TCP relay of the test's own between a program and the peer it dials: every connection
// accepted on the relay's port is carried on to the target, both ways, and every byte is
// recorded. What a client sends can be held back a while before it goes on, to make a path
// slow in one direction.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace tarnivel::test {

class TcpRelay : public QObject
{
    Q_OBJECT
public:
    // Listens on listenAddress (any free port, or `port`); holds client bytes back holdMs.
    // Connections to the target leave from `from` (null: any), so that the target sees the
    // address of the program behind the relay.
    TcpRelay(const QHostAddress &listenAddress, const QHostAddress &target, quint16 targetPort, int holdMs = 0,
             quint16 port = 0, const QHostAddress &from = {});

    bool listening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }

    QByteArray fromClients; // everything the clients sent, in the order it arrived
    QByteArray fromTargets; // everything the targets answered

private:
    void carry(class QTcpSocket *client);

    QTcpServer m_server;
    QHostAddress m_target;
    quint16 m_targetPort;
    int m_holdMs;
    QHostAddress m_from;
};

} // namespace tarnivel::test
