// A copy talking to plain TCP peers: the bytes on the chat and join ports, exactly as they
// go over the wire, and what the copy does with odd callers.

#include "testaccess.h"
#include "rawpeer.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QAction>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <vector>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

// Names in code page 932.
const QByteArray Sakura("\x82\xb3\x82\xad\x82\xe7");           // さくら
const QByteArray Taro("\x82\xbd\x82\xeb\x82\xa4");             // たろう
const QByteArray Jiro("\x82\xb6\x82\xeb\x82\xa4");             // じろう
const QByteArray Shinniri("\x82\xb5\x82\xf1\x82\xa2\x82\xe8"); // しんいり

QByteArray ascii(const QString &text)
{
    return text.toLatin1();
}

QByteArray address(int n)
{
    return ascii(loopbackText(n));
}

QString connectedLine(const QString &name)
{
    return QStringLiteral(" ●%1 と接続されました。").arg(name);
}

bool listensOnBothPorts(TestCopy &copy)
{
    ConnectionRoster &s = TestAccess::mesh(copy.session()).roster();
    return s.joinListener().state() == SocketState::Listening && s.listening().state() == SocketState::Listening;
}

} // namespace

class TestMeshBytes : public QObject
{
    Q_OBJECT
private slots:
    void helloIsAnsweredWithWelcome_data();
    void helloIsAnsweredWithWelcome();
    void helloFromADialledAddressReplacesTheDialledConnection();
    void peerListListsAcceptedThenDialledPerSlot_data();
    void peerListListsAcceptedThenDialledPerSlot();
    void tenConnectionsAnswerFull_data();
    void tenConnectionsAnswerFull();
    void arrivalsHoldingRefuseMarkAreIgnored_data();
    void arrivalsHoldingRefuseMarkAreIgnored();
    void secondHelloFromSameAddressDropsTheFirstSilently();
    void socketErrorOnNamedSlot_data();
    void socketErrorOnNamedSlot();
    void strayJoinCallersLeaveTheChatAlone_data();
    void strayJoinCallersLeaveTheChatAlone();
    void newcomerDialsPeerListFields_data();
    void newcomerDialsPeerListFields();
    void newcomerDialsAtMostTenOfALongList();
    void failedJoinReturnsToIdle_data();
    void failedJoinReturnsToIdle();
};

// ---- Accepting side ---------------------------------------------------------------------

void TestMeshBytes::helloIsAnsweredWithWelcome_data()
{
    QTest::addColumn<bool>("connectSound");
    QTest::addColumn<bool>("messageSound");
    QTest::newRow("no sounds") << false << false;
    QTest::newRow("connection sound") << true << false;
    QTest::newRow("message sound") << false << true;
    QTest::newRow("both sounds") << true << true;
}

void TestMeshBytes::helloIsAnsweredWithWelcome()
{
    QFETCH(bool, connectSound);
    QFETCH(bool, messageSound);
    TestCopy copy(1, QStringLiteral("さくら"));
    copy.session().setConnectSound(connectSound);
    copy.session().setMessageSound(messageSound);
    copy.togglePeerColumn();

    std::unique_ptr<RawPeer> peer = dial(2, copy.address(), ChatPort);
    QVERIFY(peer);
    peer->send('\x02' + Taro);
    const QByteArray welcome = '\x03' + Sakura;
    QVERIFY(peer->waitReceived(welcome.size()));
    QCOMPARE(peer->received, welcome);

    QCOMPARE(copy.connectionCount(), 1);
    QCOMPARE(copy.title(), QStringLiteral("たるにべ - 1人接続済"));
    QVERIFY(!copy.views().connectEnabled && copy.views().disconnectEnabled);
    QVERIFY(copy.logText().contains(connectedLine(QStringLiteral("たろう"))));
    QCOMPARE(copy.members(), QStringList{QStringLiteral("たろう")});
    QCOMPARE(TestAccess::mesh(copy.session()).roster().accepted(0).memberName(), QStringLiteral("たろう"));
    const QString connectWav = copy.session().shippedFile(QStringLiteral("connect.wav"));
    const QString messageWav = copy.session().shippedFile(QStringLiteral("message.wav"));
    QCOMPARE(copy.sound.played, connectSound ? QStringList{connectWav} : QStringList{});
    QCOMPARE(copy.session().preferences().messageSound, messageSound);

    // A chat line does chime when the message sound is on: the silence above was the rule.
    peer->send(Taro + "> hi\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("たろう> hi")), WaitMs);
    QCOMPARE(copy.sound.played.count(messageWav), messageSound ? 1 : 0);
}

void TestMeshBytes::helloFromADialledAddressReplacesTheDialledConnection()
{
    TestCopy copy(1, QStringLiteral("A"));
    auto member = chatPeer(5);
    auto answerer = joinAnswerer(4, "\x03" + address(5) + "\x03");
    copy.joinThrough(loopbackText(4));
    ConnectionRoster &roster = TestAccess::mesh(copy.session()).roster();
    QTRY_VERIFY_WITH_TIMEOUT(roster.dialled(0).isConnected() && copy.namedMemberCount() == 1, WaitMs);

    // The same member dials in afresh: only the newest connection stays.
    auto again = greet(5, copy, "p5again");
    QVERIFY(again);
    QTRY_VERIFY_WITH_TIMEOUT(!roster.dialled(0).isConnected(), WaitMs);
    QCOMPARE(copy.connectionCount(), 1);
    copy.togglePeerColumn();
    QCOMPARE(copy.members(), QStringList{QStringLiteral("p5again")});
}

void TestMeshBytes::peerListListsAcceptedThenDialledPerSlot_data()
{
    QTest::addColumn<bool>("ownAddressKnown");
    QTest::newRow("own address unknown") << false;
    QTest::newRow("own address known") << true;
}

void TestMeshBytes::peerListListsAcceptedThenDialledPerSlot()
{
    QFETCH(bool, ownAddressKnown);
    TestCopy copy(1, QStringLiteral("A"));

    // Two dialled members (client slots 0 and 1) through a plain answering peer ...
    auto five = chatPeer(5);
    auto six = chatPeer(6);
    auto answerer = joinAnswerer(5, "\x03" + address(5) + "\x03" + address(6) + "\x03");
    QVERIFY(five->listening() && six->listening() && answerer->listening());
    copy.joinThrough(loopbackText(5));
    QTRY_COMPARE_WITH_TIMEOUT(copy.namedMemberCount(), 2, WaitMs);
    QCOMPARE(TestAccess::mesh(copy.session()).roster().dialled(0).remoteHost(), loopbackText(5));
    QCOMPARE(TestAccess::mesh(copy.session()).roster().dialled(1).remoteHost(), loopbackText(6));
    QTRY_VERIFY_WITH_TIMEOUT(listensOnBothPorts(copy), WaitMs);

    // ... and two accepted ones (server slots 0 and 1).
    auto seven = greet(7, copy, "seven");
    QVERIFY(seven);
    auto eight = greet(8, copy, "eight");
    QVERIFY(eight);
    QCOMPARE(copy.connectionCount(), 4);

    if (ownAddressKnown)
        copy.dialup.value = copy.address();
    const QByteArray own = ownAddressKnown ? ascii(copy.address()) : QByteArray();
    const QByteArray expected =
        "\x03" + own + "\x03" + address(7) + "\x03" + address(5) + "\x03" + address(8) + "\x03" + address(6) + "\x03";
    QCOMPARE(askPeerList(9, copy), expected);
    QVERIFY(copy.logText().contains(QStringLiteral(" ●接続要求がきました。%1\n").arg(loopbackText(9))));
    QCOMPARE(copy.connectionCount(), 4);
}

void TestMeshBytes::tenConnectionsAnswerFull_data()
{
    QTest::addColumn<int>("members");
    QTest::newRow("nine members") << 9;
    QTest::newRow("ten members") << 10;
}

void TestMeshBytes::tenConnectionsAnswerFull()
{
    QFETCH(int, members);
    TestCopy copy(1, QStringLiteral("A"));
    copy.dialup.value = copy.address();
    std::vector<std::unique_ptr<RawPeer>> peers;
    QByteArray list = "\x03" + ascii(copy.address()) + "\x03";
    for (int n = 2; n < 2 + members; ++n) {
        peers.push_back(greet(n, copy, "m" + QByteArray::number(n)));
        QVERIFY(peers.back());
        list += address(n) + "\x03";
    }
    QCOMPARE(copy.connectionCount(), members);

    const QByteArray answer = askPeerList(20, copy);
    const bool requestLogged = copy.logText().contains(QStringLiteral(" ●接続要求がきました。"));
    if (members == 10) {
        QCOMPARE(answer, QByteArray("\x04"));
        QVERIFY(!requestLogged);
    } else {
        QCOMPARE(answer, list);
        QCOMPARE(answer.count('\x03'), 11);
        QVERIFY(requestLogged);
    }
    QCOMPARE(copy.connectionCount(), members);
}

// ---- Chat sockets -----------------------------------------------------------------------

void TestMeshBytes::arrivalsHoldingRefuseMarkAreIgnored_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::newRow("0x04 alone") << QByteArray("\x04");
    QTest::newRow("0x04 inside a chat line") << QByteArray(Taro
                                                           + "> ab\x04"
                                                             "cd\r\n");
    QTest::newRow("0x04 after a chat line") << QByteArray(Taro + "> abcd\r\n\x04");
    QTest::newRow("Hello with a new name and 0x04") << QByteArray("\x02\x90\x56\x96\xbc\x91\x4f\x04"); // 新名前
    QTest::newRow("Welcome-like with 0x04") << QByteArray("\x03x\x04");
}

void TestMeshBytes::arrivalsHoldingRefuseMarkAreIgnored()
{
    QFETCH(QByteArray, arrival);
    TestCopy copy(1, QStringLiteral("A"));
    copy.togglePeerColumn();
    auto taro = greet(2, copy, Taro);
    QVERIFY(taro);
    auto jiro = greet(3, copy, Jiro);
    QVERIFY(jiro);
    const QString log = copy.logText();
    const QStringList members = copy.members();
    const QString title = copy.title();

    taro->send(arrival);
    // The second member's line is read no earlier than the first arrival, which came before it.
    jiro->send(Jiro + "> ok\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("じろう> ok")), WaitMs);

    QCOMPARE(copy.logText(), log + QStringLiteral("じろう> ok\n"));
    QCOMPARE(copy.members(), members);
    QCOMPARE(copy.title(), title);
    QCOMPARE(TestAccess::mesh(copy.session()).roster().accepted(0).memberName(), QStringLiteral("たろう"));
    QCOMPARE(taro->received,
             QByteArray("\x03"
                        "A"));
}

void TestMeshBytes::secondHelloFromSameAddressDropsTheFirstSilently()
{
    TestCopy copy(1, QStringLiteral("A"));
    copy.togglePeerColumn();
    auto first = greet(2, copy, Taro);
    QVERIFY(first);
    auto other = greet(3, copy, Jiro);
    QVERIFY(other);
    auto second = greet(2, copy, Taro);
    QVERIFY(second);
    QCOMPARE(second->received,
             QByteArray("\x03"
                        "A"));

    QVERIFY(first->waitHungUp());
    QVERIFY(!copy.logText().contains(QStringLiteral("との接続が断たれました。")));
    QCOMPARE(copy.logText().count(connectedLine(QStringLiteral("たろう"))), 2);
    QCOMPARE(copy.members(), (QStringList{QStringLiteral("じろう"), QStringLiteral("たろう")}));
    QCOMPARE(copy.connectionCount(), 2);
    QVERIFY(other->connected() && !other->hungUp);
    QCOMPARE(copy.title(), QStringLiteral("たるにべ - 2人接続済"));

    // The newer connection is the one that carries the member's lines.
    second->send(Taro + "> new\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("たろう> new")), WaitMs);
}

void TestMeshBytes::socketErrorOnNamedSlot_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("cut");
    QTest::newRow("10054 reset") << 10054 << true;
    QTest::newRow("10053 aborted") << 10053 << true;
    QTest::newRow("10060 timed out") << 10060 << false;
    QTest::newRow("peer hangs up") << 0 << true; // no error: the connection closes
}

void TestMeshBytes::socketErrorOnNamedSlot()
{
    QFETCH(int, number);
    QFETCH(bool, cut);
    TestCopy copy(1, QStringLiteral("A"));
    copy.togglePeerColumn();
    auto taro = greet(2, copy, Taro);
    QVERIFY(taro);
    auto jiro = greet(3, copy, Jiro);
    QVERIFY(jiro);
    const QString log = copy.logText();

    QString expected = log;
    if (number == 0) {
        taro->socket().disconnectFromHost();
    } else {
        // Qt cannot be made to raise a reset on an established loopback connection: raise the event.
        emit TestAccess::mesh(copy.session())
            .roster()
            .accepted(0)
            .error(number, QStringLiteral("Connection is reset by remote side"));
        expected += QStringLiteral(" ●エラー : たろう\nConnection is reset by remote side\n");
    }
    if (cut)
        expected += QStringLiteral(" ●たろう との接続が断たれました。\n\n");
    QTRY_COMPARE_WITH_TIMEOUT(copy.logText(), expected, WaitMs);
    const QStringList both{QStringLiteral("たろう"), QStringLiteral("じろう")};
    QCOMPARE(copy.members(), cut ? QStringList{QStringLiteral("じろう")} : both);
    QCOMPARE(copy.connectionCount(), 1);
    QCOMPARE(copy.title(), QStringLiteral("たるにべ - 1人接続済"));
    QVERIFY(taro->waitHungUp());
    QVERIFY(jiro->connected() && !jiro->hungUp);
}

// ---- Join port, answering side ----------------------------------------------------------

namespace {
enum class Stray { Garbage, Reset, SilentClose };
}

void TestMeshBytes::strayJoinCallersLeaveTheChatAlone_data()
{
    QTest::addColumn<int>("stray");
    QTest::newRow("sends garbage") << int(Stray::Garbage);
    QTest::newRow("resets") << int(Stray::Reset);
    QTest::newRow("closes without a word") << int(Stray::SilentClose);
}

void TestMeshBytes::strayJoinCallersLeaveTheChatAlone()
{
    QFETCH(int, stray);
    TestCopy copy(1, QStringLiteral("A"));
    auto taro = greet(2, copy, Taro);
    QVERIFY(taro);

    std::unique_ptr<RawPeer> caller = dial(3, copy.address(), JoinPort);
    QVERIFY(caller);
    ConnectionRoster &sockets = TestAccess::mesh(copy.session()).roster();
    QTRY_COMPARE_WITH_TIMEOUT(sockets.joinCaller(0).state(), SocketState::Connected, WaitMs);
    QCOMPARE(sockets.joinListener().state(), SocketState::Listening); // open for the next caller
    switch (Stray(stray)) {
    case Stray::Garbage:
        caller->send("hello\r\n");
        QVERIFY(caller->waitHungUp());
        QVERIFY(caller->received.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(copy.logText().count(QStringLiteral(" ●エラー\n")), 1, WaitMs);
        break;
    case Stray::Reset:
        caller->reset();
        break;
    case Stray::SilentClose:
        caller->socket().disconnectFromHost();
        break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(sockets.joinCaller(0).state(), SocketState::Closed, WaitMs);
    QCOMPARE(sockets.joinListener().state(), SocketState::Listening);

    QCOMPARE(copy.connectionCount(), 1);
    QVERIFY(taro->connected() && !taro->hungUp);
    QCOMPARE(sockets.listening().state(), SocketState::Listening);
    QVERIFY(!copy.logText().contains(QStringLiteral("との接続が断たれました。")));
    taro->send(Taro + "> still here\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("たろう> still here")), WaitMs);

    QCOMPARE(askPeerList(4, copy), "\x03\x03" + address(2) + "\x03");
    QCOMPARE(copy.connectionCount(), 1);
}

// ---- Join port, newcomer ----------------------------------------------------------------

void TestMeshBytes::newcomerDialsPeerListFields_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("dialled"); // remote host per client slot; empty: slot free
    const QString five = loopbackText(5);
    const QString six = loopbackText(6);
    QTest::newRow("own address in field 1")
        << QByteArray("\x03" + address(1) + "\x03" + address(6) + "\x03") << QStringList{QString(), six};
    QTest::newRow("first field empty: the answering copy")
        << QByteArray("\x03\x03" + address(6) + "\x03") << QStringList{five, six};
    QTest::newRow("own address in field 2")
        << QByteArray("\x03" + address(5) + "\x03" + address(1) + "\x03" + address(6) + "\x03")
        << QStringList{five, QString(), six};
    QTest::newRow("text after the last mark ignored")
        << QByteArray("\x03" + address(5) + "\x03" + address(6)) << QStringList{five};
}

void TestMeshBytes::newcomerDialsPeerListFields()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, dialled);
    TestCopy newcomer(1, QStringLiteral("しんいり"));
    newcomer.dialup.value = newcomer.address();
    newcomer.session().ownAddress().findMyAddress();
    auto five = chatPeer(5);
    auto six = chatPeer(6);
    auto answerer = joinAnswerer(5, list);
    QVERIFY(five->listening() && six->listening() && answerer->listening());

    newcomer.joinThrough(loopbackText(5));
    const int expectedCount = int(dialled.size() - dialled.count(QString()));
    QTRY_COMPARE_WITH_TIMEOUT(newcomer.namedMemberCount(), expectedCount, WaitMs);
    QCOMPARE(answerer->peers.size(), size_t(1));
    QCOMPARE(answerer->peers[0]->received, QByteArray("\x02"));

    ConnectionRoster &sockets = TestAccess::mesh(newcomer.session()).roster();
    for (int i = 0; i < ConnectionRoster::DialledSlots; ++i) {
        const QString host = i < dialled.size() ? dialled[i] : QString();
        QCOMPARE(sockets.dialled(i).remoteHost(), host);
        QCOMPARE(sockets.dialled(i).isConnected(), !host.isEmpty());
    }
    for (RawListener *peer : {five.get(), six.get()}) {
        for (const auto &connection : peer->peers)
            QCOMPARE(connection->received, '\x02' + Shinniri);
    }
    QCOMPARE(newcomer.connectionCount(), expectedCount);
    QVERIFY(!newcomer.logText().contains(QStringLiteral(" ●エラー")));
    QTRY_VERIFY_WITH_TIMEOUT(listensOnBothPorts(newcomer), WaitMs);
}

void TestMeshBytes::newcomerDialsAtMostTenOfALongList()
{
    TestCopy newcomer(1, QStringLiteral("N"));
    // Fourteen marks: thirteen addresses, more than any complete chat can list.
    std::vector<std::unique_ptr<RawListener>> peers;
    QByteArray list = "\x03";
    for (int n = 10; n < 23; ++n) {
        peers.push_back(chatPeer(n));
        QVERIFY(peers.back()->listening());
        list += address(n) + "\x03";
    }
    QCOMPARE(list.count('\x03'), 14);
    auto answerer = joinAnswerer(5, list);
    QVERIFY(answerer->listening());

    newcomer.joinThrough(loopbackText(5));
    QTRY_COMPARE_WITH_TIMEOUT(newcomer.namedMemberCount(), 10, WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(listensOnBothPorts(newcomer), WaitMs);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(TestAccess::mesh(newcomer.session()).roster().dialled(i).remoteHost(), loopbackText(10 + i));
        QCOMPARE(peers[i]->peers.size(), size_t(1));
    }
    for (int i = 10; i < 13; ++i)
        QVERIFY(peers[i]->peers.empty());
    QCOMPARE(newcomer.connectionCount(), 10);
}

namespace {
enum class Answer { Reply, HangUp, Nobody };
}

void TestMeshBytes::failedJoinReturnsToIdle_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("lastLines"); // pattern for the end of the log
    QTest::addColumn<bool>("afterFull");    // an earlier join through another copy was answered Full
    QTest::newRow("unexpected reply") << int(Answer::Reply) << QByteArray("x") << QStringLiteral("\n ●エラー\n$")
                                      << false;
    QTest::newRow("Hello mark as reply") << int(Answer::Reply) << QByteArray("\x02") << QStringLiteral("\n ●エラー\n$")
                                         << false;
    QTest::newRow("full") << int(Answer::Reply) << QByteArray("\x04")
                          << QStringLiteral("\n ●満員なのでチャットに参加できません。\n$") << false;
    QTest::newRow("hang-up without reply")
        << int(Answer::HangUp) << QByteArray() << QStringLiteral("\n ●エラー\n$") << false;
    QTest::newRow("hang-up without reply after a Full")
        << int(Answer::HangUp) << QByteArray() << QStringLiteral("\n ●エラー\n$") << true;
    QTest::newRow("refused") << int(Answer::Nobody) << QByteArray() << QStringLiteral("\n ●エラー\n[^\n ●]+[^\n]*\n$")
                             << false;
}

void TestMeshBytes::failedJoinReturnsToIdle()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, reply);
    QFETCH(QString, lastLines);
    QFETCH(bool, afterFull);
    TestCopy newcomer(1, QStringLiteral("しんいり"));
    if (afterFull) {
        auto fullAnswerer = joinAnswerer(6, QByteArray("\x04"));
        QVERIFY(fullAnswerer->listening());
        newcomer.joinThrough(loopbackText(6));
        QTRY_VERIFY_WITH_TIMEOUT(newcomer.logText().contains(QStringLiteral(" ●満員")), WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(listensOnBothPorts(newcomer), WaitMs);
    }
    std::unique_ptr<RawListener> answerer;
    if (Answer(answer) == Answer::Reply)
        answerer = joinAnswerer(5, reply);
    else if (Answer(answer) == Answer::HangUp)
        answerer = joinAnswerer(5, std::nullopt);
    QVERIFY(!answerer || answerer->listening());

    newcomer.joinThrough(loopbackText(5));
    QCOMPARE(newcomer.title(), QStringLiteral("たるにべ - 接続中"));
    const QRegularExpression end(lastLines);
    QTRY_VERIFY_WITH_TIMEOUT(end.match(newcomer.logText()).hasMatch(), WaitMs);
    // The connecting line and the one failure line, nothing twice.
    QCOMPARE(newcomer.logText().count(QStringLiteral(" ●")), afterFull ? 4 : 2);
    QCOMPARE(newcomer.title(), QStringLiteral("たるにべ - 未接続"));
    QVERIFY(newcomer.views().connectEnabled);
    QVERIFY(listensOnBothPorts(newcomer));

    // Idle again: a caller is greeted at once.
    auto caller = greet(7, newcomer, "p7");
    QVERIFY(caller);
    QVERIFY(caller->waitReceived(1 + Shinniri.size()));
    QCOMPARE(caller->received, '\x03' + Shinniri);
}

QTEST_MAIN(TestMeshBytes)
#include "tst_meshbytes.moc"
