// The socket control on real loopback connections between two local addresses.

#include "net/socket.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>
#include <utility>

using namespace tarnivel;
using tarnivel::test::loopback;
using tarnivel::test::loopbackText;

namespace {

constexpr quint16 kChatPort = 3220;
constexpr quint16 kJoinPort = 4330;
constexpr quint16 kDeadPort = 3221; // nobody listens here
constexpr int kLargeTimeoutMs = 20000;

// Everything one socket raised, in order, plus the bytes it received.
struct EventRecorder
{
    explicit EventRecorder(Socket &socket)
    {
        QObject::connect(&socket, &Socket::connected, [this] { events << QStringLiteral("connected"); });
        QObject::connect(&socket, &Socket::dataArrival, [this](const QByteArray &bytes) {
            events << QStringLiteral("data");
            received += bytes;
            if (bytes.isEmpty())
                emptyArrivals++;
        });
        QObject::connect(&socket, &Socket::sendComplete, [this] { events << QStringLiteral("sendComplete"); });
        QObject::connect(&socket, &Socket::closed, [this] { events << QStringLiteral("closed"); });
        QObject::connect(&socket, &Socket::error, [this](int number, const QString &description) {
            events << QStringLiteral("error %1").arg(number);
            lastDescription = description;
        });
        QObject::connect(&socket, &Socket::connectionRequest,
                         [this](int) { events << QStringLiteral("connectionRequest"); });
    }
    int count(const QString &event) const { return int(events.count(event)); }

    QStringList events;
    QByteArray received;
    QString lastDescription;
    int emptyArrivals = 0;
};

// One running copy that listens and takes every request into its connection socket.
struct AcceptingCopy
{
    AcceptingCopy(const QHostAddress &address, quint16 port) : context(address)
    {
        listener.setLocalPort(port);
        QObject::connect(&listener, &Socket::connectionRequest, &connection, [this](int requestId) {
            connection.close();
            connection.accept(requestId);
        });
    }
    SocketContext context;
    Socket listener{context};
    Socket connection{context};
};

// One running copy with a single dialling socket.
struct DiallingCopy
{
    explicit DiallingCopy(const QHostAddress &address) : context(address) {}
    void dial(const QString &host, quint16 port) { socket.connectToRemote(host, port); }
    SocketContext context;
    Socket socket{context};
};

// Both copies with one invite key: their connections are TLS.
void shareAKey(SocketContext &a, SocketContext &b)
{
    const QByteArray psk(32, 'k');
    a.setInviteKey(InviteKeyMode::Set, psk);
    b.setInviteKey(InviteKeyMode::Set, psk);
}

// The usual cast: copy 1 accepts on the chat port, copy 2 dials it.
struct Pair
{
    explicit Pair(bool keyed = false)
    {
        if (keyed)
            shareAKey(server.context, client.context);
    }
    AcceptingCopy server{loopback(1), kChatPort};
    DiallingCopy client{loopback(2)};
    EventRecorder serverEvents{server.connection};
    EventRecorder clientEvents{client.socket};

    // Listen, dial and wait until both ends are connected.
    bool establish()
    {
        if (!server.listener.listen())
            return false;
        client.dial(loopbackText(1), kChatPort);
        return QTest::qWaitFor([this] { return server.connection.isConnected() && client.socket.isConnected(); });
    }
};

QByteArray largePayload()
{
    QByteArray bytes(4 * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

} // namespace

class SocketTest : public QObject
{
    Q_OBJECT

private slots:
    void connectAcceptAndExchange_data();
    void connectAcceptAndExchange();
    void unboundCopiesMeetOnAnyAddress();
    void peerCloseDeliversDataThenClosedOnce();
    void localEndingIsSilent_data();
    void localEndingIsSilent();
    void dialFailures_data();
    void dialFailures();
    void connectTimesOut();
    void unacceptedRequestIsClosed();
    void requestWaitingForAcceptKeepsItsBytesAndClose();
    void joinListenerAcceptsOnItself();
    void listenReplacesWhatTheSocketHeld();
    void arrivalsWhileAHandlerRuns_data();
    void arrivalsWhileAHandlerRuns();
    void writeInsideSendCompleteIsReported();
    void closeInsideDataArrival();
    void closedInsideDataArrivalGoesAfterIt_data();
    void closedInsideDataArrivalGoesAfterIt();
    void closeInsideSendCompleteAndConnected_data();
    void closeInsideSendCompleteAndConnected();
    void reconnectFromClosedAndErrorHandlers();
};

void SocketTest::connectAcceptAndExchange_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("keyed");
    QTest::newRow("chat line") << QByteArray("alice> hello\r\n") << false;
    // Shift_JIS "表示" has 0x5C as a trail byte; UTF-8 text must pass unchanged too.
    QTest::newRow("shift_jis") << QByteArray("\x95\x5c\x8e\xa6\x82\xbd\x82\xe9\x82\xc9\x82\xd7\r\n") << false;
    QTest::newRow("utf-8 japanese") << QStringLiteral("たるにべ（秘）: こんにちは\r\n").toUtf8() << false;
    QTest::newRow("marker bytes") << QByteArray("\x01\x02\x03\x04", 4) << false;
    QTest::newRow("4 MiB") << largePayload() << false;
    // Inside TLS the same events come with the same bytes, read at most 64 KiB at a time.
    QTest::newRow("4 MiB, with an invite key") << largePayload() << true;
}

void SocketTest::connectAcceptAndExchange()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, keyed);
    AcceptingCopy server(loopback(1), kChatPort);
    DiallingCopy client(loopback(2));
    if (keyed)
        shareAKey(server.context, client.context);
    EventRecorder serverEvents(server.connection);
    EventRecorder clientEvents(client.socket);

    QVERIFY(server.listener.listen());
    QCOMPARE(server.listener.state(), SocketState::Listening);
    QCOMPARE(server.listener.localPort(), kChatPort);

    client.socket.setMemberName(QStringLiteral("dialled"));
    client.dial(loopbackText(1), kChatPort);
    QVERIFY(client.socket.state() == SocketState::Connecting || client.socket.state() == SocketState::ResolvingHost);
    QTRY_COMPARE(clientEvents.events, QStringList{QStringLiteral("connected")});
    QTRY_COMPARE(server.connection.state(), SocketState::Connected);
    QCOMPARE(client.socket.state(), SocketState::Connected);
    QCOMPARE(server.listener.state(), SocketState::Listening);

    // Each side sees the address the other side is bound to.
    QCOMPARE(server.connection.remoteHostIP(), loopbackText(2));
    QCOMPARE(client.socket.remoteHostIP(), loopbackText(1));
    QCOMPARE(server.connection.localPort(), kChatPort);
    QCOMPARE(server.connection.remotePort(), client.socket.localPort());
    QVERIFY(client.socket.localPort() != 0);
    QCOMPARE(client.socket.memberName(), QStringLiteral("dialled"));

    client.socket.sendData(payload);
    QTRY_COMPARE_WITH_TIMEOUT(serverEvents.received.size(), payload.size(), kLargeTimeoutMs);
    QVERIFY(serverEvents.received == payload);
    QTRY_COMPARE(clientEvents.count(QStringLiteral("sendComplete")), 1);

    server.connection.sendData(payload);
    QTRY_COMPARE_WITH_TIMEOUT(clientEvents.received.size(), payload.size(), kLargeTimeoutMs);
    QVERIFY(clientEvents.received == payload);
    QTRY_COMPARE(serverEvents.count(QStringLiteral("sendComplete")), 1);

    QTest::qWait(50);
    QCOMPARE(clientEvents.count(QStringLiteral("sendComplete")), 1);
    QCOMPARE(serverEvents.emptyArrivals + clientEvents.emptyArrivals, 0);
    QCOMPARE(serverEvents.count(QStringLiteral("closed")) + clientEvents.count(QStringLiteral("closed")), 0);
}

void SocketTest::unboundCopiesMeetOnAnyAddress()
{
    // A copy without a bind address listens on every address and dials from the default one.
    AcceptingCopy server(QHostAddress(), 0);
    DiallingCopy client{QHostAddress()};
    QVERIFY(server.listener.listen());
    const quint16 port = server.listener.localPort();
    QVERIFY(port != 0);

    client.dial(loopbackText(1), port);
    QTRY_COMPARE(server.connection.state(), SocketState::Connected);
    QTRY_COMPARE(client.socket.state(), SocketState::Connected);
    QCOMPARE(server.connection.remoteHostIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(client.socket.remoteHostIP(), loopbackText(1));
}

void SocketTest::peerCloseDeliversDataThenClosedOnce()
{
    Pair p;
    p.client.socket.setMemberName(QStringLiteral("bob"));
    QVERIFY(p.establish());

    // The last words and the close travel together; the words must come first.
    p.server.connection.sendData("bye\r\n");
    p.server.connection.close();
    QCOMPARE(p.server.connection.state(), SocketState::Closed);

    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(p.clientEvents.events,
             (QStringList{QStringLiteral("connected"), QStringLiteral("data"), QStringLiteral("closed")}));
    QCOMPARE(p.clientEvents.received, QByteArray("bye\r\n"));
    QCOMPARE(p.client.socket.state(), SocketState::Closing);
    QCOMPARE(p.client.socket.memberName(), QStringLiteral("bob"));
    QCOMPARE(p.client.socket.remoteHostIP(), loopbackText(1));

    // Writing to a closed connection is ignored; closing it locally raises nothing.
    p.client.socket.sendData("late");
    p.client.socket.close();
    QCOMPARE(p.client.socket.state(), SocketState::Closed);
    QCOMPARE(p.client.socket.remoteHostIP(), loopbackText(1));
    QTest::qWait(100);
    QCOMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(p.clientEvents.count(QStringLiteral("sendComplete")), 0);
    QCOMPARE(p.serverEvents.events, QStringList{});
}

void SocketTest::localEndingIsSilent_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("close") << false;
    QTest::newRow("destroy") << true;
}

void SocketTest::localEndingIsSilent()
{
    QFETCH(bool, destroy);
    AcceptingCopy server(loopback(1), kChatPort);
    DiallingCopy client(loopback(2));
    auto local = std::make_unique<Socket>(client.context);
    EventRecorder localEvents(*local);
    EventRecorder serverEvents(server.connection);
    QVERIFY(server.listener.listen());
    local->setMemberName(QStringLiteral("kept"));
    local->connectToRemote(loopbackText(1), kChatPort);
    QTRY_COMPARE(server.connection.state(), SocketState::Connected);
    QTRY_COMPARE(local->state(), SocketState::Connected);

    // Bytes still queued when the socket is closed are delivered before the close.
    const QByteArray payload = largePayload();
    local->sendData(payload);
    if (destroy) {
        local.reset();
    } else {
        local->close();
        QCOMPARE(local->state(), SocketState::Closed);
        QCOMPARE(local->memberName(), QStringLiteral("kept"));
        QCOMPARE(local->remoteHostIP(), loopbackText(1));
    }
    QTRY_COMPARE_WITH_TIMEOUT(serverEvents.count(QStringLiteral("closed")), 1, kLargeTimeoutMs);
    QCOMPARE(serverEvents.received.size(), payload.size());
    QVERIFY(serverEvents.received == payload);
    QCOMPARE(server.connection.state(), SocketState::Closing);
    QCOMPARE(localEvents.events, QStringList{QStringLiteral("connected")});
}

void SocketTest::dialFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::newRow("refused") << loopbackText(1) << int(SocketError::ConnectionRefused)
                             << QStringLiteral("Connection is forcefully rejected");
    QTest::newRow("unknown host") << QStringLiteral("no-such-host.invalid") << int(SocketError::HostNotFound)
                                  << QStringLiteral("Authoritative answer: Host not found");
    QTest::newRow("empty host") << QString() << int(SocketError::HostNotFound)
                                << QStringLiteral("Authoritative answer: Host not found");
}

void SocketTest::dialFailures()
{
    QFETCH(QString, host);
    QFETCH(int, number);
    QFETCH(QString, description);
    DiallingCopy client(loopback(2));
    EventRecorder events(client.socket);

    client.dial(host, kDeadPort);
    // The caller names the socket after dialling; the failure must come later.
    QCOMPARE(events.events, QStringList{});
    QTRY_COMPARE(events.events, QStringList{QStringLiteral("error %1").arg(number)});
    QCOMPARE(events.lastDescription, description);
    QCOMPARE(client.socket.state(), SocketState::Error);
    QTest::qWait(50);
    QCOMPARE(events.events.size(), 1);
}

void SocketTest::connectTimesOut()
{
    // A listener that never accepts and has room for one waiting connection: once that room is
    // taken, the kernel drops further handshakes and a dialler hears nothing.
    QTcpServer silent;
    silent.setListenBacklogSize(0);
    QVERIFY(silent.listen(loopback(1), kChatPort));
    silent.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(loopback(1), kChatPort);
    QVERIFY(filler.waitForConnected(2000));

    DiallingCopy client(loopback(2));
    client.context.setConnectTimeoutMs(400);
    EventRecorder events(client.socket);
    client.dial(loopbackText(1), kChatPort);
    QTRY_VERIFY_WITH_TIMEOUT(!events.events.isEmpty(), 5000);
    if (events.events.first() == QStringLiteral("connected"))
        QSKIP("this network stack completes connections beyond the listen backlog");
    QCOMPARE(events.events, QStringList{QStringLiteral("error %1").arg(SocketError::TimedOut)});
    QCOMPARE(events.lastDescription, QStringLiteral("Connection is timed out"));
    QCOMPARE(client.socket.state(), SocketState::Error);
}

void SocketTest::unacceptedRequestIsClosed()
{
    SocketContext serverContext(loopback(1));
    Socket listener(serverContext);
    EventRecorder listenerEvents(listener);
    listener.setLocalPort(kChatPort);
    QVERIFY(listener.listen());
    DiallingCopy client(loopback(2));
    EventRecorder clientEvents(client.socket);

    client.dial(loopbackText(1), kChatPort);
    QTRY_COMPARE(clientEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(clientEvents.events, (QStringList{QStringLiteral("connected"), QStringLiteral("closed")}));
    QCOMPARE(listenerEvents.events, QStringList{QStringLiteral("connectionRequest")});
    QCOMPARE(listener.state(), SocketState::Listening);
}

void SocketTest::requestWaitingForAcceptKeepsItsBytesAndClose()
{
    // The handler lets events run before it accepts: meanwhile the peer has written and closed.
    SocketContext serverContext(loopback(1));
    Socket listener(serverContext);
    Socket connection(serverContext);
    EventRecorder connectionEvents(connection);
    listener.setLocalPort(kChatPort);
    DiallingCopy client(loopback(2));
    QObject::connect(&client.socket, &Socket::connected, [&] {
        client.socket.sendData("\x02"
                               "carol");
    });
    QObject::connect(&client.socket, &Socket::sendComplete, [&] { client.socket.close(); });
    QObject::connect(&listener, &Socket::connectionRequest, [&](int requestId) {
        QTest::qWait(300);
        connection.accept(requestId);
        QCOMPARE(connection.remoteHostIP(), loopbackText(2));
    });
    QVERIFY(listener.listen());

    client.dial(loopbackText(1), kChatPort);
    QTRY_COMPARE(connectionEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(connectionEvents.events, (QStringList{QStringLiteral("data"), QStringLiteral("closed")}));
    QCOMPARE(connectionEvents.received,
             QByteArray("\x02"
                        "carol"));
    QCOMPARE(connection.state(), SocketState::Closing);
}

void SocketTest::joinListenerAcceptsOnItself()
{
    SocketContext answering(loopback(1));
    Socket joinListener(answering);
    joinListener.setLocalPort(kJoinPort);
    QString askerAddress;
    bool relistened = false;
    QObject::connect(&joinListener, &Socket::connectionRequest, [&](int requestId) {
        joinListener.close();
        joinListener.accept(requestId);
    });
    QObject::connect(&joinListener, &Socket::dataArrival, [&](const QByteArray &) {
        askerAddress = joinListener.remoteHostIP();
        joinListener.sendData("\x03" + loopbackText(1).toLatin1() + "\x03");
    });
    QObject::connect(&joinListener, &Socket::sendComplete, [&] {
        joinListener.close();
        relistened = joinListener.listen();
    });
    QVERIFY(joinListener.listen());

    // The same listener answers one newcomer after another.
    for (int round = 0; round < 2; ++round) {
        DiallingCopy newcomer(loopback(2));
        EventRecorder events(newcomer.socket);
        QObject::connect(&newcomer.socket, &Socket::connected, [&] { newcomer.socket.sendData("\x02"); });
        relistened = false;
        newcomer.dial(loopbackText(1), kJoinPort);
        QTRY_COMPARE(events.count(QStringLiteral("closed")), 1);
        QCOMPARE(events.received, "\x03" + loopbackText(1).toLatin1() + "\x03");
        QCOMPARE(askerAddress, loopbackText(2));
        QVERIFY(relistened);
        QCOMPARE(joinListener.state(), SocketState::Listening);
        QCOMPARE(joinListener.localPort(), kJoinPort);
    }
}

void SocketTest::listenReplacesWhatTheSocketHeld()
{
    Pair p;
    QVERIFY(p.server.listener.listen());

    // A second listener on a taken port fails quietly and stays closed.
    Socket rival(p.server.context);
    EventRecorder rivalEvents(rival);
    rival.setLocalPort(kChatPort);
    QVERIFY(!rival.listen());
    QCOMPARE(rival.state(), SocketState::Closed);

    // Listening again on the same socket gives up the old listener first.
    QVERIFY(p.establish());
    QCOMPARE(p.server.listener.state(), SocketState::Listening);

    // A connected socket told to listen drops its connection without a word.
    p.server.connection.setLocalPort(kJoinPort);
    QVERIFY(p.server.connection.listen());
    QCOMPARE(p.server.connection.state(), SocketState::Listening);
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(p.serverEvents.events, QStringList{});
    QCOMPARE(rivalEvents.events, QStringList{});
}

void SocketTest::arrivalsWhileAHandlerRuns_data()
{
    QTest::addColumn<bool>("peerCloses");
    QTest::newRow("more bytes") << false;
    QTest::newRow("more bytes and close") << true;
}

void SocketTest::arrivalsWhileAHandlerRuns()
{
    // Bytes and a close that the peer sends while a handler still runs come after it, none
    // lost or reordered, the close last.
    QFETCH(bool, peerCloses);
    Pair p;
    QVERIFY(p.establish());

    bool first = true;
    QObject::connect(&p.client.socket, &Socket::dataArrival, [&] {
        if (!std::exchange(first, false))
            return;
        p.server.connection.sendData("second");
        if (peerCloses)
            p.server.connection.close();
    });
    p.server.connection.sendData("first");

    QTRY_COMPARE(p.clientEvents.received, QByteArray("firstsecond"));
    if (peerCloses) {
        QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
        QCOMPARE(p.clientEvents.events.last(), QStringLiteral("closed"));
        QCOMPARE(p.client.socket.state(), SocketState::Closing);
    } else {
        QCOMPARE(p.client.socket.state(), SocketState::Connected);
    }
    QCOMPARE(p.clientEvents.emptyArrivals, 0);
}

void SocketTest::writeInsideSendCompleteIsReported()
{
    Pair p;
    QVERIFY(p.establish());
    int completions = 0;
    QObject::connect(&p.client.socket, &Socket::sendComplete, [&] {
        if (++completions == 1) {
            p.client.socket.sendData("two");
            QTest::qWait(200);
        }
    });
    p.client.socket.sendData("one");
    QTRY_COMPARE(p.serverEvents.received, QByteArray("onetwo"));
    QTRY_COMPARE(completions, 2);
    QTest::qWait(50);
    QCOMPARE(completions, 2);
}

void SocketTest::closeInsideDataArrival()
{
    Pair p;
    QObject::connect(&p.server.connection, &Socket::dataArrival, [&] { p.server.connection.close(); });
    QVERIFY(p.establish());

    p.client.socket.sendData("first");
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    p.client.socket.sendData("second"); // ignored: the socket is no longer connected
    QTest::qWait(100);
    QCOMPARE(p.serverEvents.events, QStringList{QStringLiteral("data")});
    QCOMPARE(p.server.connection.state(), SocketState::Closed);
}

void SocketTest::closedInsideDataArrivalGoesAfterIt_data()
{
    QTest::addColumn<bool>("keyed");
    QTest::newRow("plain") << false;
    // A QSslSocket is inside its own record handling too: it must not be aborted there either.
    QTest::newRow("with an invite key") << true;
}

void SocketTest::closedInsideDataArrivalGoesAfterIt()
{
    // A handler that drops its connection does so inside the Qt socket's own signal: the Qt
    // socket is deleted once the event loop has its turn, and the Socket works on without it.
    QFETCH(bool, keyed);
    Pair p(keyed);
    int handled = 0;
    QObject::connect(&p.server.connection, &Socket::dataArrival, [&] {
        ++handled;
        p.server.connection.close();
    });
    QVERIFY(p.establish());
    p.client.socket.sendData("ping");
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(p.server.context.findChildren<QTcpSocket *>(), QList<QTcpSocket *>{});
    QCOMPARE(handled, 1);
    QCOMPARE(p.server.connection.state(), SocketState::Closed);
    p.server.connection.close(); // nothing left to close
    QCOMPARE(p.server.connection.state(), SocketState::Closed);
}

void SocketTest::closeInsideSendCompleteAndConnected_data()
{
    QTest::addColumn<bool>("keyed");
    QTest::newRow("plain") << false;
    QTest::newRow("with an invite key") << true;
}

void SocketTest::closeInsideSendCompleteAndConnected()
{
    QFETCH(bool, keyed);
    Pair p(keyed);
    // The accepting side greets, and hangs up once the greeting is out.
    QObject::connect(&p.server.listener, &Socket::connectionRequest, [&] { p.server.connection.sendData("hi"); });
    QObject::connect(&p.server.connection, &Socket::sendComplete, [&] { p.server.connection.close(); });
    QVERIFY(p.server.listener.listen());

    p.client.dial(loopbackText(1), kChatPort);
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("closed")), 1);
    QCOMPARE(p.clientEvents.received, QByteArray("hi"));
    QCOMPARE(p.serverEvents.events, QStringList{QStringLiteral("sendComplete")});
    QCOMPARE(p.server.connection.state(), SocketState::Closed);

    // A dialler that hangs up as soon as it is connected hears nothing of the greeting.
    DiallingCopy quitter(loopback(2));
    if (keyed)
        shareAKey(p.server.context, quitter.context);
    EventRecorder quitterEvents(quitter.socket);
    QObject::connect(&quitter.socket, &Socket::connected, [&] { quitter.socket.close(); });
    quitter.dial(loopbackText(1), kChatPort);
    QTRY_COMPARE(quitterEvents.count(QStringLiteral("connected")), 1);
    QTest::qWait(150);
    QCOMPARE(quitterEvents.events, QStringList{QStringLiteral("connected")});
    QCOMPARE(quitter.socket.state(), SocketState::Closed);
}

void SocketTest::reconnectFromClosedAndErrorHandlers()
{
    Pair p;
    QVERIFY(p.server.listener.listen());

    // First attempt goes to a dead port; the error handler redials the right one.
    // When the peer later hangs up, the closed handler dials once more.
    int redials = 0;
    Socket &client = p.client.socket;
    QObject::connect(&client, &Socket::error, [&] { client.connectToRemote(loopbackText(1), kChatPort); });
    QObject::connect(&client, &Socket::closed, [&] {
        if (redials++ == 0)
            client.connectToRemote();
    });
    p.client.dial(loopbackText(1), kDeadPort);
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("connected")), 1);
    QTRY_COMPARE(p.server.connection.state(), SocketState::Connected);
    const quint16 firstLocalPort = client.localPort();

    p.server.connection.close();
    QTRY_COMPARE(p.clientEvents.count(QStringLiteral("connected")), 2);
    QCOMPARE(client.state(), SocketState::Connected);
    QVERIFY(client.localPort() != firstLocalPort);
    QCOMPARE(p.clientEvents.events,
             (QStringList{QStringLiteral("error %1").arg(SocketError::ConnectionRefused), QStringLiteral("connected"),
                          QStringLiteral("closed"), QStringLiteral("connected")}));

    // The new connection works both ways.
    QTRY_COMPARE(p.server.connection.state(), SocketState::Connected);
    client.sendData("again");
    p.server.connection.sendData("back");
    QTRY_COMPARE(p.serverEvents.received, QByteArray("again"));
    QTRY_COMPARE(p.clientEvents.received, QByteArray("back"));
}

QTEST_GUILESS_MAIN(SocketTest)
#include "tst_socket.moc"
