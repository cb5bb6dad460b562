// A member whose network vanishes is dropped, with the usual lines, within the dead-peer
// time-out: while the chat is idle and while the copy is sending to it. The copy lives in
// one network namespace and a plain peer (or a copy with its invite key) in another; an nftables rule on the peer's
// side cuts the link without a word to either end.

#include "testaccess.h"
#include "netnamespaces.h"
#include "rawpeer.h"
#include "testcopy.h"

#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

enum class Side { Accepted, Dialled }; // how the copy holds the member's connection
enum class Activity { Idle, Sending };

constexpr int DeadPeerTimeoutMs = 3000;
// Far above the time-out: the kernel's probes and retransmissions run on their own timers.
constexpr int DropWaitMs = 30000;

} // namespace

Q_DECLARE_METATYPE(Side)
Q_DECLARE_METATYPE(Activity)

class TestDeadMember : public QObject
{
    Q_OBJECT
private slots:
    void aMemberWhoseNetworkVanishesIsDropped_data();
    void aMemberWhoseNetworkVanishesIsDropped();
};

void TestDeadMember::aMemberWhoseNetworkVanishesIsDropped_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<Activity>("activity");
    QTest::addColumn<bool>("keyed"); // both ends a copy with one invite key: inside TLS
    QTest::newRow("accepted, idle") << Side::Accepted << Activity::Idle << false;
    QTest::newRow("accepted, sending") << Side::Accepted << Activity::Sending << false;
    QTest::newRow("dialled, idle") << Side::Dialled << Activity::Idle << false;
    QTest::newRow("dialled, sending") << Side::Dialled << Activity::Sending << false;
    QTest::newRow("dialled, idle, with an invite key") << Side::Dialled << Activity::Idle << true;
}

void TestDeadMember::aMemberWhoseNetworkVanishesIsDropped()
{
    QFETCH(Side, side);
    QFETCH(Activity, activity);
    QFETCH(bool, keyed);
    NAMESPACES_OR_SKIP(TwoNamespaces, net);
    const QString farAddress = QLatin1String(TwoNamespaces::FarAddress);

    // Everything the copy makes (listeners, dials) is in the near namespace.
    const EnterNamespace near(net.nearName());
    QVERIFY2(near.error().isEmpty(), qPrintable(near.error()));
    TestCopy copy(QLatin1String(TwoNamespaces::NearAddress), QStringLiteral("near"));
    TestAccess::socketContext(copy.session()).setDeadPeerTimeoutMs(DeadPeerTimeoutMs);
    copy.togglePeerColumn(); // the member list shows
    const QByteArray key = QByteArray::fromHex("dead0000dead0000dead0000dead0000dead");
    QVERIFY(!keyed || copy.session().inviteKey().set(key));

    std::unique_ptr<TestCopy> farCopy;
    std::unique_ptr<RawListener> joinAnswerer;
    std::unique_ptr<RawListener> chatAnswerer;
    std::unique_ptr<RawPeer> caller;
    {
        const EnterNamespace far(net.farName());
        QVERIFY2(far.error().isEmpty(), qPrintable(far.error()));
        if (keyed) {
            farCopy = std::make_unique<TestCopy>(farAddress, QStringLiteral("far"));
            QVERIFY(farCopy->session().inviteKey().set(key));
        } else if (side == Side::Dialled) {
            const QByteArray peerList = "\x03" + farAddress.toLatin1() + "\x03";
            joinAnswerer = std::make_unique<RawListener>(QHostAddress(farAddress), JoinPort, [peerList](RawPeer &peer) {
                peer.send(peerList);
                peer.socket().disconnectFromHost();
            });
            chatAnswerer = std::make_unique<RawListener>(QHostAddress(farAddress), ChatPort, [](RawPeer &peer) {
                if (peer.received.startsWith('\x02'))
                    peer.send("\x03"
                              "far");
            });
            // The far address exists only over there: listening on it proves where we are.
            QVERIFY(joinAnswerer->listening());
            QVERIFY(chatAnswerer->listening());
        } else {
            auto *socket = new QTcpSocket;
            socket->connectToHost(QLatin1String(TwoNamespaces::NearAddress), ChatPort);
            caller = std::make_unique<RawPeer>(socket);
        }
    }
    if (side == Side::Dialled) {
        copy.joinThrough(farAddress);
    } else {
        QVERIFY(caller->waitConnected());
        caller->send("\x02"
                     "far");
    }
    QTRY_COMPARE_WITH_TIMEOUT(copy.members(), QStringList{QStringLiteral("far")}, WaitMs);
    const QList<Socket *> connected = TestAccess::mesh(copy.session()).roster().connectedSockets();
    QCOMPARE(connected.size(), 1);
    QCOMPARE(connected.first()->remoteHostIP(), farAddress);

    QCOMPARE(net.cutFar(), QString());
    if (activity == Activity::Sending) {
        // Far more than the network takes in flight: most of it waits in our buffers.
        copy.say(QString(256 * 1024, u'x'));
        QVERIFY(copy.logText().contains(QStringLiteral("near> xxx")));
    }

    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(QStringLiteral(" ●far との接続が断たれました。")), DropWaitMs);
    QVERIFY(copy.logText().contains(QStringLiteral(" ●エラー : far\n")));
    QCOMPARE(copy.members(), QStringList());
    QCOMPARE(copy.connectionCount(), 0);
    QCOMPARE(copy.title(), QStringLiteral("たるにべ - 未接続"));
}

QTEST_MAIN(TestDeadMember)
#include "tst_deadmember.moc"
