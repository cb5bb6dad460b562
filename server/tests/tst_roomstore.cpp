// The in-process room store by its own clock: every call says what time it is, so expiry,
// renewal and the limits that expiry gives back are checked to the millisecond, without
// waiting. (The Redis store keeps time by the Redis server's clock; tst_directoryserver
// drives it through a real redis-server.)

#include "memoryroomstore.h"

#include <QtTest>

using namespace tarnivel::dirserver;
using namespace std::chrono_literals;

namespace {

enum class Op { Enter, Withdraw };

struct Action
{
    int atMs;
    int caller; // 192.0.2.<caller>; callers 10 and 11 share one key, like two addresses of a /64
    Op op;
    const char *room;
    EnterOutcome outcome = EnterOutcome::Waiting; // for Enter
    int waiter = 0;                               // for Found: the caller given
    std::size_t waitsAfter = std::size_t(-1);     // checked when set
};

std::string address(int caller)
{
    return "192.0.2." + std::to_string(caller);
}

std::string key(int caller)
{
    return caller >= 10 ? std::string("2001:db8::/64") : address(caller);
}

} // namespace

Q_DECLARE_METATYPE(QList<Action>)

class TestRoomStore : public QObject
{
    Q_OBJECT
private slots:
    void byTheStoresClock_data();
    void byTheStoresClock();
};

void TestRoomStore::byTheStoresClock_data()
{
    QTest::addColumn<QList<Action>>("actions");
    const auto W = EnterOutcome::Waiting, F = EnterOutcome::Found;
    const auto Rooms = EnterOutcome::TooManyRooms, Waits = EnterOutcome::TooManyWaits;
    // Settings: a wait lasts 1000 ms, 2 rooms per caller, 3 waits in all.
    QTest::newRow("a wait lasts until just before its deadline")
        << QList<Action>{{0, 1, Op::Enter, "lobby", W}, {999, 2, Op::Enter, "lobby", F, 1},
                         {1000, 2, Op::Enter, "lobby", W, 0, 1}, {1000, 1, Op::Enter, "lobby", F, 2}};
    QTest::newRow("asking again renews the wait from then")
        << QList<Action>{{0, 1, Op::Enter, "lobby", W}, {900, 1, Op::Enter, "lobby", W},
                         {1899, 2, Op::Enter, "lobby", F, 1}, {1900, 2, Op::Enter, "lobby", W}};
    QTest::newRow("being found does not renew the wait")
        << QList<Action>{{0, 1, Op::Enter, "lobby", W}, {500, 2, Op::Enter, "lobby", F, 1},
                         {1000, 3, Op::Enter, "lobby", W}};
    QTest::newRow("renewal moves a wait behind later ones")
        << QList<Action>{{0, 1, Op::Enter, "a", W}, {100, 2, Op::Enter, "b", W}, {200, 1, Op::Enter, "a", W},
                         {1100, 3, Op::Enter, "b", W, 0, 2}, {1199, 3, Op::Enter, "a", F, 1}};
    QTest::newRow("rooms per caller come back on expiry")
        << QList<Action>{{0, 1, Op::Enter, "a", W}, {10, 1, Op::Enter, "b", W}, {20, 1, Op::Enter, "c", Rooms},
                         {1009, 1, Op::Enter, "c", W}, {1010, 1, Op::Enter, "d", W, 0, 2}};
    QTest::newRow("rooms per caller counted per key")
        << QList<Action>{{0, 10, Op::Enter, "a", W}, {0, 11, Op::Enter, "b", W}, {0, 11, Op::Enter, "c", Rooms},
                         {0, 10, Op::Enter, "b", F, 11}};
    QTest::newRow("waits in all come back on expiry and on withdrawal")
        << QList<Action>{{0, 1, Op::Enter, "a", W}, {0, 2, Op::Enter, "b", W}, {500, 3, Op::Enter, "c", W},
                         {600, 4, Op::Enter, "d", Waits, 0, 3}, {600, 4, Op::Enter, "a", F, 1},
                         {1000, 4, Op::Enter, "d", W, 0, 2}, {1100, 3, Op::Withdraw, "c", W, 0, 1},
                         {1100, 5, Op::Enter, "e", W, 0, 2}};
    QTest::newRow("withdrawing someone else's wait changes nothing")
        << QList<Action>{{0, 1, Op::Enter, "lobby", W}, {10, 2, Op::Withdraw, "lobby", W, 0, 1},
                         {20, 2, Op::Enter, "lobby", F, 1}, {30, 1, Op::Withdraw, "lobby", W, 0, 0},
                         {40, 2, Op::Enter, "lobby", W}};
    QTest::newRow("an expired wait cannot be withdrawn twice")
        << QList<Action>{{0, 1, Op::Enter, "a", W}, {1000, 1, Op::Withdraw, "a", W, 0, 0},
                         {1000, 1, Op::Enter, "a", W, 0, 1}, {1000, 1, Op::Enter, "b", W, 0, 2}};
}

void TestRoomStore::byTheStoresClock()
{
    QFETCH(QList<Action>, actions);
    MemoryRoomStore store(StoreSettings{1000ms, 2, 3});
    const MemoryRoomStore::Clock::time_point start{};
    for (int i = 0; i < actions.size(); ++i) {
        const Action &a = actions[i];
        const auto now = start + std::chrono::milliseconds(a.atMs);
        const std::string who = address(a.caller), whose = key(a.caller);
        const QByteArray where = QByteArray("action ") + QByteArray::number(i + 1);
        if (a.op == Op::Withdraw) {
            store.withdrawAt(a.room, {who, whose}, now);
        } else {
            const EnterResult result = store.enterAt(a.room, {who, whose}, now);
            QVERIFY2(result.outcome == a.outcome, where.constData());
            QCOMPARE(result.waiter, a.outcome == EnterOutcome::Found ? address(a.waiter) : std::string());
        }
        if (a.waitsAfter != std::size_t(-1))
            QVERIFY2(store.waits() == a.waitsAfter, (where + " waits " + QByteArray::number(store.waits())).constData());
    }
}

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
