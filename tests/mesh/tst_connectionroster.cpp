// Who is connected, counted and listed from real sockets, and who a line on its way reaches:
// accepted connections come from raw diallers, dialled connections go to a raw listener.

#include "mesh/connectionroster.h"
#include "mesh/outbox.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

using namespace tarnivel;

namespace {

constexpr quint16 ChatPort = 3220;
constexpr quint16 JoinPort = 4330;

class Fixture
{
public:
    Fixture() : context(test::loopback(1)), roster(context)
    {
        peerListener.listen(test::loopback(2), ChatPort);
        roster.closeAll(ChatPort, JoinPort);
        QVERIFY(roster.listening().listen());
        QObject::connect(&roster.listening(), &Socket::connectionRequest, [this](int id) {
            if (beforeAccepting)
                beforeAccepting();
            roster.accepted(nextAccepted).accept(id);
        });
    }

    // A raw dialler from loopback(from), accepted into slot k.
    QTcpSocket &acceptInto(int k, const QString &name, int from = -1)
    {
        nextAccepted = k;
        auto raw = std::make_unique<QTcpSocket>();
        raw->bind(test::loopback(from < 0 ? 10 + k : from), 0);
        raw->connectToHost(test::loopback(1), ChatPort);
        [&] {
            QVERIFY(QTest::qWaitFor([&] { return roster.accepted(k).isConnected(); }, 5000));
        }();
        roster.accepted(k).setMemberName(name);
        raws.push_back(std::move(raw));
        return *raws.back();
    }

    void dial(int i, const QString &name)
    {
        Socket &s = roster.dialled(i);
        s.setRemoteHost(test::loopbackText(2));
        s.connectToRemote();
        QVERIFY(QTest::qWaitFor([&] { return s.isConnected(); }, 5000));
        s.setMemberName(name);
    }

    QStringList names() const
    {
        QStringList result;
        for (const Member &m : roster.members())
            result << m.name;
        return result;
    }

    SocketContext context;
    ConnectionRoster roster;
    QTcpServer peerListener;
    std::vector<std::unique_ptr<QTcpSocket>> raws;
    int nextAccepted = 0;
    std::function<void()> beforeAccepting; // runs inside the next connection request
};

} // namespace

class TestConnectionRoster : public QObject
{
    Q_OBJECT
private slots:
    void closeAllReturnsEverySocketToIdle();
    void countAndMemberOrder();
    void moreThanTenConnectionsListTheFirstTen_data();
    void moreThanTenConnectionsListTheFirstTen();
    void slotLookup();
    void linesOnTheirWay_data();
    void linesOnTheirWay();
};

void TestConnectionRoster::closeAllReturnsEverySocketToIdle()
{
    Fixture f;
    f.acceptInto(0, QStringLiteral("甲"));
    f.dial(3, QStringLiteral("乙"));
    QCOMPARE(f.roster.connectionCount(), 2);

    f.roster.closeAll(ChatPort, JoinPort);

    QCOMPARE(f.roster.connectionCount(), 0);
    QVERIFY(f.roster.members().isEmpty());
    for (int k = 0; k < ConnectionRoster::AcceptedSlots; ++k) {
        QCOMPARE(f.roster.accepted(k).state(), SocketState::Closed);
        QVERIFY(f.roster.accepted(k).memberName().isEmpty());
    }
    QCOMPARE(f.roster.dialled(3).state(), SocketState::Closed);
    QVERIFY(f.roster.dialled(3).memberName().isEmpty());
    QCOMPARE(f.roster.dialled(3).remotePort(), ChatPort);
    QVERIFY(f.roster.dialled(3).remoteHost().isEmpty());
    // Closing does not listen again; the callers do, on these ports.
    QCOMPARE(f.roster.listening().state(), SocketState::Closed);
    QCOMPARE(f.roster.listening().localPort(), ChatPort);
    QCOMPARE(f.roster.joinListener().localPort(), JoinPort);
    QCOMPARE(f.roster.joinClient().remotePort(), JoinPort);
}

void TestConnectionRoster::countAndMemberOrder()
{
    Fixture f;
    f.acceptInto(1, QStringLiteral("S1"));
    f.dial(0, QStringLiteral("C0"));
    f.acceptInto(0, QStringLiteral("S0"));
    f.dial(1, QStringLiteral("C1"));
    // The count needs no refresh: it is right whenever asked.
    QCOMPARE(f.roster.connectionCount(), 4);
    // Accepted before dialled for the same slot number.
    QCOMPARE(f.names(), (QStringList{"S0", "C0", "S1", "C1"}));
    const QList<Member> members = f.roster.members();
    QCOMPARE(members.at(1).id, (MemberId{ConnectionSide::Dialled, 0}));
    QCOMPARE(members.at(2).id, (MemberId{ConnectionSide::Accepted, 1}));
    QCOMPARE(members.at(0).address, test::loopbackText(10));

    f.roster.accepted(0).close();
    QCOMPARE(f.roster.connectionCount(), 3);
    QCOMPARE(f.names(), (QStringList{"C0", "S1", "C1"}));
}

void TestConnectionRoster::moreThanTenConnectionsListTheFirstTen_data()
{
    QTest::addColumn<int>("acceptedSlots"); // slots 0..n-1 hold an accepted member
    QTest::addColumn<QList<int>>("dialled");
    QTest::addColumn<QString>("last");
    QTest::newRow("six of each: ends mid-slot") << 6 << QList<int>{0, 1, 2, 3, 4, 5} << QStringLiteral("C4");
    // The tenth member is the accepted half of a slot whose dialled half would be the eleventh.
    QTest::newRow("ten accepted, dialled slot 9") << 10 << QList<int>{9} << QStringLiteral("S9");
}

void TestConnectionRoster::moreThanTenConnectionsListTheFirstTen()
{
    QFETCH(int, acceptedSlots);
    QFETCH(QList<int>, dialled);
    QFETCH(QString, last);
    Fixture f;
    for (int k = 0; k < acceptedSlots; ++k)
        f.acceptInto(k, QStringLiteral("S%1").arg(k));
    for (int i : dialled)
        f.dial(i, QStringLiteral("C%1").arg(i));
    const int count = acceptedSlots + int(dialled.size());
    QCOMPARE(f.roster.connectionCount(), count);
    QCOMPARE(f.roster.connectedSockets().size(), count);
    const QStringList names = f.names();
    QCOMPARE(names.size(), ConnectionRoster::MaxShownMembers);
    QCOMPARE(names.first(), QStringLiteral("S0"));
    QCOMPARE(names.last(), last);
}

void TestConnectionRoster::slotLookup()
{
    Fixture f;
    // Dialled slot 0 and "no such slot" are different answers.
    QCOMPARE(f.roster.socket({ConnectionSide::Dialled, 0}), &f.roster.dialled(0));
    QCOMPARE(f.roster.socket({ConnectionSide::Accepted, 9}), &f.roster.accepted(9));
    QCOMPARE(f.roster.socket({ConnectionSide::Accepted, 10}), nullptr); // the overflow slot holds no member
    QCOMPARE(f.roster.socket({ConnectionSide::Dialled, -1}), nullptr);
}

namespace {
// What happens to slot 1 between the first write of a line (to slot 0) and slot 1's turn.
enum class Meanwhile { Nothing, MemberLeaves, NewcomerTakesTheSlot };
} // namespace

void TestConnectionRoster::linesOnTheirWay_data()
{
    QTest::addColumn<bool>("toChosen"); // meant for the connections held when sent, not the slots
    QTest::addColumn<int>("meanwhile");
    QTest::addColumn<QStringList>("reached");
    QTest::addColumn<bool>("newcomerGetsIt");
    const QStringList all{"m0", "m1", "m2"};
    QTest::newRow("private, nothing happens") << true << int(Meanwhile::Nothing) << all << false;
    QTest::newRow("private, a member leaves between two writes")
        << true << int(Meanwhile::MemberLeaves) << QStringList{"m0", "m2"} << false;
    QTest::newRow("private, a newcomer takes a ticked member's slot")
        << true << int(Meanwhile::NewcomerTakesTheSlot) << QStringList{"m0", "m2"} << false;
    QTest::newRow("to everyone, a newcomer takes a member's slot")
        << false << int(Meanwhile::NewcomerTakesTheSlot) << all << true;
}

void TestConnectionRoster::linesOnTheirWay()
{
    QFETCH(bool, toChosen);
    QFETCH(int, meanwhile);
    QFETCH(QStringList, reached);
    QFETCH(bool, newcomerGetsIt);
    Fixture f;
    for (int k = 0; k < 3; ++k)
        f.acceptInto(k, QStringLiteral("m%1").arg(k));
    Outbox outbox;
    std::optional<QStringList> sent;
    const auto post = [&] {
        std::vector<Outbox::Addressee> addressees;
        for (int k = 0; k < 3; ++k) {
            Socket &s = f.roster.accepted(k);
            addressees.push_back({&s, toChosen ? std::optional(s.connection()) : std::nullopt, s.memberName()});
        }
        outbox.post("line\r\n", addressees, [&](const QStringList &names) { sent = names; });
        QVERIFY(!sent); // slot 0 has it; the others wait for the next turns of the event loop
        if (Meanwhile(meanwhile) != Meanwhile::Nothing)
            f.roster.accepted(1).close();
    };
    QTcpSocket *newcomer = nullptr;
    if (Meanwhile(meanwhile) == Meanwhile::NewcomerTakesTheSlot) {
        // The line is sent inside the newcomer's connection request, which then takes slot 1.
        f.beforeAccepting = post;
        newcomer = &f.acceptInto(1, QStringLiteral("m1"), 20);
    } else {
        post();
    }
    QTRY_VERIFY(sent);
    QCOMPARE(*sent, reached);
    QTRY_COMPARE(f.raws[2]->bytesAvailable(), qint64(6));
    // Slot 2's turn came after slot 1's: by now the newcomer would have had the line.
    if (newcomer && newcomerGetsIt)
        QTRY_COMPARE(newcomer->bytesAvailable(), qint64(6));
    else if (newcomer)
        QCOMPARE(newcomer->bytesAvailable(), qint64(0));
}

QTEST_MAIN(TestConnectionRoster)
#include "tst_connectionroster.moc"
