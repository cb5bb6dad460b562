// Title, connect/disconnect items and member lists kept in step with real sockets.

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "app/statusview.h"
#include "directory/roomhooks.h"
#include "mesh/chatsockets.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>
#include <vector>

using namespace tarnivel;

namespace {

class RecordingView : public StatusView
{
public:
    void setTitle(const QString &t) override { title = t; }
    void setConnectMenus(bool c, bool d) override
    {
        connectEnabled = c;
        disconnectEnabled = d;
    }
    void setMemberRows(const QStringList &names) override
    {
        rows = names;
        ++rowUpdates;
    }
    void selectSendToAll() override { ++sendToAllSelections; }

    QString title;
    bool connectEnabled = false;
    bool disconnectEnabled = true;
    QStringList rows;
    int rowUpdates = 0;
    int sendToAllSelections = 0;
};

class WaitingRoom : public RoomHooks
{
public:
    bool waiting() const override { return true; }
    void pollRoom() override {}
    void quitWaiting() override {}
    QString waitTitle() const override { return QStringLiteral(" [部屋で待機]"); }
};

// One copy's sockets with raw peers on other loopback addresses: accepted connections come
// from raw diallers, dialled connections go to a raw listener.
class Fixture
{
public:
    Fixture()
        : context(test::loopback(1))
        , sockets(context)
        , status(sockets, view, prefs, room)
    {
        prefs.showPeers = 1;
        peerListener.listen(test::loopback(2), 3220);
        status.resetConnections();
        status.listenAgain();
        QObject::connect(&sockets.listening(), &Socket::connectionRequest, [this](int id) {
            sockets.server(nextServer).accept(id);
        });
    }

    void acceptInto(int k, const QString &name)
    {
        nextServer = k;
        auto raw = std::make_unique<QTcpSocket>();
        raw->bind(test::loopback(10 + k), 0);
        raw->connectToHost(test::loopback(1), 3220);
        QVERIFY(QTest::qWaitFor([&] { return sockets.server(k).isConnected(); }, 5000));
        sockets.server(k).setTag(name);
        raws.push_back(std::move(raw));
    }

    void dialFrom(int i, const QString &name)
    {
        Socket &c = sockets.client(i);
        c.setRemoteHost(test::loopbackText(2));
        c.connectToRemote();
        QVERIFY(QTest::qWaitFor([&] { return c.isConnected(); }, 5000));
        c.setTag(name);
    }

    Preferences prefs;
    RecordingView view;
    WaitingRoom room;
    SocketContext context;
    ChatSockets sockets;
    ConnectionStatus status;
    QTcpServer peerListener;
    std::vector<std::unique_ptr<QTcpSocket>> raws;
    int nextServer = 0;
};

} // namespace

class TestConnectionStatus : public QObject
{
    Q_OBJECT
private slots:
    void resetReturnsToUnconnectedAndRearmsPorts();
    void countTitleAndMemberOrder();
    void moreThanTenConnectionsListTheFirstTen();
    void hiddenColumnLeavesTheListsAlone();
    void lastConnectionGoneClearsInChat();
};

void TestConnectionStatus::resetReturnsToUnconnectedAndRearmsPorts()
{
    Fixture f;
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 未接続 [部屋で待機]"));
    QVERIFY(f.view.connectEnabled);
    QVERIFY(!f.view.disconnectEnabled);
    QCOMPARE(f.sockets.joinServer().state(), SocketState::Listening);
    QCOMPARE(f.sockets.listening().state(), SocketState::Listening);
    QCOMPARE(f.sockets.joinServer().localPort(), quint16(4330));
    QCOMPARE(f.sockets.listening().localPort(), quint16(3220));

    f.acceptInto(0, QStringLiteral("甲"));
    f.dialFrom(3, QStringLiteral("乙"));
    f.status.setInChat(true);
    f.status.setLockSuffix(QStringLiteral(" [ロック]"));
    f.view.setConnectMenus(false, true);
    f.status.resetConnections();

    QCOMPARE(f.status.connectionCount(), 0);
    QVERIFY(!f.status.inChat());
    QVERIFY(f.view.connectEnabled);
    QVERIFY(!f.view.disconnectEnabled);
    // The waiting suffix stands before the lock suffix.
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 未接続 [部屋で待機] [ロック]"));
    QVERIFY(f.view.rows.isEmpty());
    for (int k = 0; k < ChatSockets::ServerSlots; ++k) {
        QCOMPARE(f.sockets.server(k).state(), SocketState::Closed);
        QVERIFY(f.sockets.server(k).tag().isEmpty());
    }
    QCOMPARE(f.sockets.client(3).state(), SocketState::Closed);
    QCOMPARE(f.sockets.client(3).remotePort(), quint16(3220));
    QVERIFY(f.sockets.client(3).remoteHost().isEmpty());
    // Reset does not listen again; the callers do.
    QCOMPARE(f.sockets.listening().state(), SocketState::Closed);
    QCOMPARE(f.sockets.joinServer().state(), SocketState::Closed);
    QCOMPARE(f.sockets.joinClient().remotePort(), quint16(4330));
}

void TestConnectionStatus::countTitleAndMemberOrder()
{
    Fixture f;
    f.acceptInto(1, QStringLiteral("S1"));
    f.dialFrom(0, QStringLiteral("C0"));
    f.acceptInto(0, QStringLiteral("S0"));
    f.dialFrom(1, QStringLiteral("C1"));
    f.status.refreshTitle();
    QCOMPARE(f.status.connectionCount(), 4);
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 4人接続済 [部屋で待機]"));

    const int selectionsBefore = f.view.sendToAllSelections;
    f.status.refreshMemberList();
    // Accepted before dialled for the same slot number.
    QCOMPARE(f.view.rows, (QStringList{"S0", "C0", "S1", "C1"}));
    QCOMPARE(f.status.peerSlot(0), 0);
    QCOMPARE(f.status.peerSlot(1), 10);
    QCOMPARE(f.status.peerSlot(2), 1);
    QCOMPARE(f.status.peerSlot(3), 11);
    QCOMPARE(f.status.peerSlot(4), 10); // empty rows hold 10
    QCOMPARE(f.view.sendToAllSelections, selectionsBefore + 1);

    // A slot that closes drops out at the next rebuild.
    f.sockets.server(0).close();
    f.status.refreshMemberList();
    f.status.refreshTitle();
    QCOMPARE(f.view.rows, (QStringList{"C0", "S1", "C1"}));
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 3人接続済 [部屋で待機]"));
}

void TestConnectionStatus::moreThanTenConnectionsListTheFirstTen()
{
    Fixture f;
    for (int k = 0; k < 6; ++k) {
        f.acceptInto(k, QStringLiteral("S%1").arg(k));
        f.dialFrom(k, QStringLiteral("C%1").arg(k));
    }
    f.status.refreshTitle();
    QCOMPARE(f.status.connectionCount(), 12);
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 12人接続済 [部屋で待機]"));
    f.status.refreshMemberList();
    QCOMPARE(f.view.rows.size(), 10);
    QCOMPARE(f.view.rows.first(), QStringLiteral("S0"));
    QCOMPARE(f.view.rows.last(), QStringLiteral("C4"));
    QCOMPARE(f.status.peerSlot(9), 14);
    QCOMPARE(f.status.peerSlot(10), 10); // out of range: no row
}

void TestConnectionStatus::hiddenColumnLeavesTheListsAlone()
{
    Fixture f;
    f.acceptInto(0, QStringLiteral("S0"));
    f.prefs.showPeers = 0;
    const int updates = f.view.rowUpdates;
    f.status.refreshMemberList();
    QCOMPARE(f.view.rowUpdates, updates);
    f.status.rebuildMemberList(); // showing the column rebuilds regardless
    QCOMPARE(f.view.rows, QStringList{"S0"});
}

void TestConnectionStatus::lastConnectionGoneClearsInChat()
{
    Fixture f;
    f.acceptInto(0, QStringLiteral("S0"));
    f.status.setInChat(true);
    f.view.setConnectMenus(false, true);
    f.sockets.server(0).close();
    f.status.refreshTitle();
    QVERIFY(!f.status.inChat());
    QCOMPARE(f.view.title, QStringLiteral("たるにべ - 未接続 [部屋で待機]"));
    // Counting nobody changes the title only; the menu items stay as they were.
    QVERIFY(!f.view.connectEnabled);
    QVERIFY(f.view.disconnectEnabled);
}

QTEST_MAIN(TestConnectionStatus)
#include "tst_connectionstatus.moc"
