// Reachable from outside without touching the router: a copy in a home network asks the
// router (Debian's miniupnpd) to forward its chat and join ports, a plain peer on the
// internet side joins it through the router's outside address, and at exit the forwarding
// is gone. The copy then asks the real directory server, which sits on the internet side,
// whether it can be reached. Without a gateway the copy says so once and chats as before.

#include "netnamespaces.h"
#include "rawpeer.h"
#include "serverprocesses.h"
#include "testaccess.h"
#include "testcopy.h"

#include "directory/entryfile.h"
#include "session/outsideaccess.h"

#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
using Gateway = GatewayNetwork::Gateway;
constexpr int MappingWaitMs = 20000; // discovery waits 2 s per protocol; the rest is slack for loaded machines

const QString NoGatewayLine = QStringLiteral(" ●ルータが見つからないので、ポートを自動で開けませんでした。");
const QString ReachableLine = QStringLiteral(" ●外部から接続できます。");
const QString UnreachableLine = QStringLiteral(" ●外部から接続できません: TCP 3220 と 4330 を開いてください");
const QString WaitUnreachableLine = QStringLiteral(" ●外部から接続できないので、このまま待っても誰も参加できません。");
} // namespace

Q_DECLARE_METATYPE(Gateway)

class TestPortMapping : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void throughTheRouter_data();
    void throughTheRouter();
    void leasesAreRenewedQuietly_data();
    void leasesAreRenewedQuietly();
    void anotherCopyHoldsThePorts_data();
    void anotherCopyHoldsThePorts();
    void withoutAGatewayOnLoopback();
};

void TestPortMapping::initTestCase()
{
    if (directoryProgram().isEmpty())
        QSKIP("TARNIVEL_DIRECTORY is not set (run through ctest)");
}

void TestPortMapping::throughTheRouter_data()
{
    QTest::addColumn<Gateway>("gateway");
    QTest::addColumn<QString>("gatewayLine");
    QTest::addColumn<QString>("reachLine");
    QTest::newRow("UPnP IGD") << Gateway::Upnp
                              << QStringLiteral(
                                     " ●ルータのポート3220と4330を自動で開きました。外部のIP: 198.51.100.1 (UPnP)")
                              << ReachableLine;
    QTest::newRow("NAT-PMP only")
        << Gateway::NatPmpOnly
        << QStringLiteral(" ●ルータのポート3220と4330を自動で開きました。外部のIP: 198.51.100.1 (NAT-PMP)")
        << ReachableLine;
    QTest::newRow("no gateway") << Gateway::None << NoGatewayLine << UnreachableLine;
}

void TestPortMapping::throughTheRouter()
{
    QFETCH(Gateway, gateway);
    QFETCH(QString, gatewayLine);
    QFETCH(QString, reachLine);
    NAMESPACES_OR_SKIP(GatewayNetwork, net, gateway);
    const QString outside = QLatin1String(GatewayNetwork::RouterOutside);

    // The directory server on the internet side, which the copy asks whether it is reachable.
    DirectoryServer directory;
    {
        const EnterNamespace internet(net.internetName());
        QVERIFY2(internet.error().isEmpty(), qPrintable(internet.error()));
        QVERIFY2(directory.start({QStringLiteral("--open"), QStringLiteral("--quiet"), QStringLiteral("--listen"),
                                  QStringLiteral("198.51.100.2:8080")}),
                 qPrintable(directory.error()));
    }

    const EnterNamespace home(net.homeName());
    QVERIFY2(home.error().isEmpty(), qPrintable(home.error()));
    TestCopy copy(QLatin1String(GatewayNetwork::HomeAddress), QStringLiteral("home"), nullptr, {true});
    QVERIFY(writeEntryFile(entryFilePath(copy.session().room().entryFolder(), QStringLiteral("net")),
                           {QStringLiteral("http://198.51.100.2:8080/"), QStringLiteral("lobby")}));
    copy.session().setQuickServer(QStringLiteral("net"));

    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(gatewayLine), MappingWaitMs);
    // After a mapping the quick server's directory is asked at once.
    if (gateway != Gateway::None)
        QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(reachLine), WaitMs);
    const QString rules = net.forwardingRules();
    for (const char *port : {"3220", "4330"})
        QCOMPARE(rules.contains(QStringLiteral("dport %1 dnat ip to 192.0.2.2:%1").arg(QLatin1String(port))),
                 gateway != Gateway::None);
    QCOMPARE(copy.session().externalAddress(), gateway == Gateway::None ? QString() : outside);

    if (gateway != Gateway::None) {
        // The server's check took the join port for a moment (one conversation at a time):
        // it has hung up by the time its answer came, and the port listens again.
        QTRY_COMPARE_WITH_TIMEOUT(TestAccess::mesh(copy.session()).roster().joinListener().state(),
                                  SocketState::Listening, WaitMs);
        // A peer on the internet joins through the router's outside address: the join
        // port's peer list, then the chat port's greeting.
        std::unique_ptr<RawPeer> joiner, chat;
        {
            const EnterNamespace internet(net.internetName());
            joiner = std::make_unique<RawPeer>(new QTcpSocket);
            joiner->socket().connectToHost(outside, JoinPort);
            chat = std::make_unique<RawPeer>(new QTcpSocket);
            chat->socket().connectToHost(outside, ChatPort);
        }
        QVERIFY(joiner->waitConnected());
        joiner->send("\x02");
        QVERIFY(joiner->waitHungUp());
        QVERIFY2(joiner->received.startsWith('\x03'), joiner->received.constData());
        QVERIFY(chat->waitConnected());
        chat->send("\x02"
                   "far");
        QVERIFY(chat->waitReceived(1));
        QTRY_COMPARE_WITH_TIMEOUT(copy.connectionCount(), 1, WaitMs);
        QCOMPARE(TestAccess::mesh(copy.session()).roster().connectedSockets().first()->remoteHostIP(),
                 QLatin1String(GatewayNetwork::InternetAddress));
        chat->received.clear();
        chat->send("far> over the router\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("far> over the router")), WaitMs);
        copy.say(QStringLiteral("and back"));
        QTRY_VERIFY_WITH_TIMEOUT(chat->received.contains("home> and back"), WaitMs);
    } else {
        // Entering a room asks the directory server, which finds nothing listening behind the router.
        copy.session().quickCommand();
        QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(reachLine), WaitMs);
        QVERIFY(copy.session().room().waiting());
        QTRY_COMPARE_WITH_TIMEOUT(copy.logText().count(WaitUnreachableLine), 1, WaitMs);
        // A renewal of the same wait says nothing more.
        copy.session().room().renew();
        QTRY_VERIFY_WITH_TIMEOUT(!copy.session().room().busy(), WaitMs);
        QCOMPARE(copy.logText().count(WaitUnreachableLine), 1);
    }

    // At exit the forwarding is given back.
    copy.close();
    QTRY_VERIFY_WITH_TIMEOUT(!net.forwardingRules().contains(QStringLiteral("dnat")), WaitMs);
    QCOMPARE(copy.logText().count(gatewayLine), 1);
}

void TestPortMapping::leasesAreRenewedQuietly_data()
{
    QTest::addColumn<Gateway>("gateway");
    QTest::addColumn<QString>("request"); // how miniupnpd notes each request for port 3220
    QTest::newRow("UPnP IGD")
        << Gateway::Upnp
        << QStringLiteral(
               "AddPortMapping: ext port 3220 to 192.0.2.2:3220 protocol TCP for: tarnivel leaseduration=4 ");
    QTest::newRow("NAT-PMP only") << Gateway::NatPmpOnly
                                  << QStringLiteral(
                                         "NAT-PMP port mapping request : 3220->192.0.2.2:3220 tcp lifetime=4s");
}

void TestPortMapping::leasesAreRenewedQuietly()
{
    // Leases of 4 seconds: the copy asks again halfway through each, the forwarding stays,
    // and the log says nothing more.
    QFETCH(Gateway, gateway);
    QFETCH(QString, request);
    NAMESPACES_OR_SKIP(GatewayNetwork, net, gateway);
    const EnterNamespace home(net.homeName());
    QVERIFY2(home.error().isEmpty(), qPrintable(home.error()));
    TestCopy copy(QLatin1String(GatewayNetwork::HomeAddress), QStringLiteral("home"), nullptr, {true, 4});
    const QString mapped = QStringLiteral(" ●ルータのポート3220と4330を自動で開きました。");
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(mapped), MappingWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(net.gatewayLog().count(request) >= 4, 30000);
    // Past the first lease and more, the ports are still forwarded.
    QVERIFY2(net.forwardingRules().contains(QStringLiteral("dport 3220 dnat ip to 192.0.2.2:3220")),
             qPrintable(net.forwardingRules()));
    QCOMPARE(copy.logText().count(mapped), 1);
}

void TestPortMapping::anotherCopyHoldsThePorts_data()
{
    QTest::addColumn<Gateway>("gateway");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("UPnP IGD") << Gateway::Upnp
                              << QStringLiteral(" ●ルータがポート3220を開きませんでした。ほかのパソコンかたるにべがすで"
                                                "に使っています。(UPnP: 718 ConflictInMappingEntry)");
    QTest::newRow("NAT-PMP only") << Gateway::NatPmpOnly
                                  << QStringLiteral(" ●ルータがポート3220を開きませんでした。ほかのパソコンかたるにべが"
                                                    "すでに使っています。(NAT-PMP: offered port ");
}

void TestPortMapping::anotherCopyHoldsThePorts()
{
    QFETCH(Gateway, gateway);
    QFETCH(QString, refusal);
    // Two copies on one machine, each bound to its own address: the router forwards the
    // ports to the first, and tells the second, which says so.
    NAMESPACES_OR_SKIP(GatewayNetwork, net, gateway);
    const EnterNamespace home(net.homeName());
    QVERIFY2(home.error().isEmpty(), qPrintable(home.error()));
    TestCopy first(QLatin1String(GatewayNetwork::HomeAddress), QStringLiteral("first"), nullptr, {true});
    QTRY_VERIFY_WITH_TIMEOUT(first.logText().contains(QStringLiteral("を自動で開きました")), MappingWaitMs);
    TestCopy second(QLatin1String(GatewayNetwork::SecondHomeAddress), QStringLiteral("second"), nullptr, {true});
    QTRY_VERIFY_WITH_TIMEOUT(second.logText().contains(refusal), MappingWaitMs);
    QCOMPARE(second.session().externalAddress(), QString());
    // The first keeps its forwarding, and the second took none for itself.
    const QString rules = net.forwardingRules();
    QVERIFY2(rules.contains(QStringLiteral("dport 3220 dnat ip to 192.0.2.2:3220")), qPrintable(rules));
    QVERIFY2(!rules.contains(QStringLiteral("192.0.2.3")), qPrintable(rules));
}

void TestPortMapping::withoutAGatewayOnLoopback()
{
    // A copy bound to a loopback address asks no router, says so once, and chats as before,
    // also after its ports open again.
    auto blocker = std::make_unique<RawListener>(4, ChatPort, [](RawPeer &) {});
    QVERIFY(blocker->listening());
    TestCopy copy(loopbackText(4), QStringLiteral("lone"), nullptr, {true});
    TestCopy other(5, QStringLiteral("other"));
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(NoGatewayLine), WaitMs);
    // The chat port was taken; once free, the copy listens again and asks again, quietly.
    QVERIFY(copy.logText().contains(QStringLiteral("ポート3220を開けません")));
    blocker.reset();
    copy.session().disconnect();
    other.joinThrough(copy.address());
    QTRY_COMPARE_WITH_TIMEOUT(copy.namedMemberCount(), 1, WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(other.namedMemberCount(), 1, WaitMs);
    other.say(QStringLiteral("hello"));
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral("other> hello")), WaitMs);
    QCOMPARE(copy.session().outsideAccess()->portMapping(), true);
    QCOMPARE(copy.logText().count(NoGatewayLine), 1);
    QCOMPARE(copy.session().externalAddress(), QString());
}

QTEST_MAIN(TestPortMapping)
#include "tst_portmapping.moc"
