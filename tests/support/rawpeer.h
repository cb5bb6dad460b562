#pragma once
// Plain TCP peers for tests: they send and receive exact bytes, the way an older copy, a
// broken one or a hostile one would.

#include "testcopy.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnivel::test {

inline constexpr quint16 ChatPort = 3220;
inline constexpr quint16 JoinPort = 4330;
inline constexpr int WaitMs = 10000;

// One end of a plain TCP connection: what it has received and whether the other end hung up.
class RawPeer
{
public:
    explicit RawPeer(QTcpSocket *socket) : m_socket(socket)
    {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] {
            received += m_socket->readAll();
            if (onArrival)
                onArrival(*this);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { hungUp = true; });
    }

    QTcpSocket &socket() { return *m_socket; }
    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    bool connected() const { return m_socket->state() == QAbstractSocket::ConnectedState; }
    bool waitConnected()
    {
        return QTest::qWaitFor([this] { return connected(); }, WaitMs);
    }
    bool waitReceived(qsizetype size)
    {
        return QTest::qWaitFor([&] { return received.size() >= size; }, WaitMs);
    }
    bool waitHungUp()
    {
        return QTest::qWaitFor([this] { return hungUp; }, WaitMs);
    }

    // Close with SO_LINGER 0: the other end sees a reset, not a close.
    void reset()
    {
        const linger noLinger{1, 0};
        setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
        m_socket->abort();
    }

    QByteArray received;
    bool hungUp = false;
    std::function<void(RawPeer &)> onArrival;

private:
    std::unique_ptr<QTcpSocket> m_socket;
};

// Dial host:port from loopback(from).
inline std::unique_ptr<RawPeer> dial(int from, const QString &host, quint16 port)
{
    auto *socket = new QTcpSocket;
    socket->bind(loopback(from), 0);
    socket->connectToHost(host, port);
    auto peer = std::make_unique<RawPeer>(socket);
    if (!peer->waitConnected())
        return nullptr;
    return peer;
}

// Dial the copy's chat port from loopback(from) and greet it; null unless its Welcome came.
inline std::unique_ptr<RawPeer> greet(int from, CopyBase &copy, const QByteArray &name)
{
    std::unique_ptr<RawPeer> peer = dial(from, copy.address(), ChatPort);
    if (!peer)
        return nullptr;
    peer->send('\x02' + name);
    if (!peer->waitReceived(1))
        return nullptr;
    return peer;
}

// Ask the copy for its peer list from loopback(from); the whole answer up to the hang-up.
inline QByteArray askPeerList(int from, CopyBase &copy)
{
    std::unique_ptr<RawPeer> peer = dial(from, copy.address(), JoinPort);
    if (!peer)
        return "(not connected)";
    peer->send("\x02");
    if (!peer->waitHungUp())
        return "(no hang-up) " + peer->received;
    return peer->received;
}

// A plain listener on loopback(n):port (or address:port) that answers each arrival as the test says.
class RawListener
{
public:
    using Answer = std::function<void(RawPeer &)>;

    RawListener(int n, quint16 port, Answer answer) : RawListener(loopback(n), port, std::move(answer)) {}

    RawListener(const QHostAddress &address, quint16 port, Answer answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(nullptr);
                peers.push_back(std::make_unique<RawPeer>(socket));
                peers.back()->onArrival = m_answer;
            }
        });
        m_listening = m_server.listen(address, port);
    }

    bool listening() const { return m_listening; }

    std::vector<std::unique_ptr<RawPeer>> peers;

private:
    QTcpServer m_server;
    Answer m_answer;
    bool m_listening = false;
};

// A chat-port listener that answers a Hello with a Welcome naming it "p" + n.
inline std::unique_ptr<RawListener> chatPeer(int n)
{
    const QByteArray welcome = "\x03p" + QByteArray::number(n);
    return std::make_unique<RawListener>(n, ChatPort, [welcome](RawPeer &peer) {
        if (peer.received.startsWith('\x02'))
            peer.send(welcome);
    });
}

// A join-port listener that answers the first arrival with reply and hangs up; with no
// reply it hangs up without a word.
inline std::unique_ptr<RawListener> joinAnswerer(int n, std::optional<QByteArray> reply)
{
    return std::make_unique<RawListener>(n, JoinPort, [reply](RawPeer &peer) {
        if (reply)
            peer.send(*reply);
        peer.socket().disconnectFromHost();
    });
}

// A port on loopback(n) whose queue of connections waiting to be accepted is full: the
// kernel drops further SYNs, so a connection to it neither stands nor fails until the
// dialler gives up. stalled() says whether the queue could be filled.
class StalledPort
{
public:
    StalledPort(int n, quint16 port)
    {
        const sockaddr_in address{AF_INET, htons(port), {htonl(loopback(n).toIPv4Address())}, {}};
        const auto *to = reinterpret_cast<const sockaddr *>(&address);
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::bind(m_listener, to, sizeof address) != 0 || ::listen(m_listener, 0) != 0)
            return;
        // Connections that stand at once take the queue's places, until one does not.
        for (int i = 0; i < 4 && !m_stalled; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_fillers.push_back(fd);
            ::connect(fd, to, sizeof address);
            pollfd ready{fd, POLLOUT, 0};
            m_stalled = ::poll(&ready, 1, 300) == 0;
        }
    }
    ~StalledPort()
    {
        for (int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    StalledPort(const StalledPort &) = delete;
    StalledPort &operator=(const StalledPort &) = delete;
    bool stalled() const { return m_stalled; }

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
    bool m_stalled = false;
};

} // namespace tarnivel::test
