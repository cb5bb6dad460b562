// The in-process room store by its own clock: every call says what time it is, so expiry,
// renewal and the limits that expiry gives back are checked to the millisecond, without
// waiting. (The Redis store keeps time by the Redis server's clock; tst_directoryserver
// drives it through a real redis-server.) Also the connection limits per network, for
// IPv6 networks that loopback cannot offer, the refusals as older copies read them, and the
// /metrics page's lines.

#include "callerlimits.h"
#include "flattable.h"
#include "memoryroomstore.h"
#include "metrics.h"
#include "reply.h"

#include "directory/roomreply.h"

#include <QtTest>

#include <algorithm>
#include <functional>
#include <list>
#include <map>
#include <random>
#include <unordered_map>

using namespace tarnivel::dirserver;
using namespace std::chrono_literals;

namespace {

enum class Op { Enter, Withdraw };

struct Action
{
    int atMs;
    int caller; // see address()
    Op op;
    const char *room;
    EnterOutcome outcome = EnterOutcome::Waiting; // for Enter
    int waiter = 0;                               // for Found: the caller given
    std::size_t waitsAfter = std::size_t(-1);     // checked when set
};

// 1 to 9 are one IPv4 /24; 10 and 11 two addresses of one IPv6 /64; 20, 21 and 25 other /64s
// of one /56, 22 and 23 other /56s of the same /48, 24 another /48; 30 to 32 one IPv4 /24, 33
// the next /24.
std::string address(int caller)
{
    static const std::map<int, std::string> Others = {
        {10, "2001:db8::10"},      {11, "2001:db8::11"},      {20, "2001:db8:1:100::1"}, {21, "2001:db8:1:101::1"},
        {22, "2001:db8:1:200::1"}, {23, "2001:db8:1:300::1"}, {24, "2001:db8:2::1"},     {25, "2001:db8:1:1ff::1"},
        {30, "198.51.100.1"},      {31, "198.51.100.2"},      {32, "198.51.100.3"},      {33, "198.51.101.1"}};
    return caller < 10 ? "192.0.2." + std::to_string(caller) : Others.at(caller);
}

CallerNetworks networks(int caller)
{
    return callerNetworks(*parseAddress(address(caller)));
}

// How opening a connection turns out; CloseOldest gives back the oldest connection still open.
enum class Connect { Open, PerAddress, PerNetwork, Server, CloseOldest };

struct Connection
{
    int caller;
    Connect expected;
};

// Every key in one of three homes, the last slot of a 16-slot table and the first two:
// long runs that wrap round, with keys at home just past the wrap.
struct CrowdedHash
{
    std::size_t operator()(unsigned key) const { return 15 + key % 3; }
};

// Random changes to a FlatTable and to std::unordered_map, which must agree throughout.
template <typename Hash>
void compareWithAMap(unsigned keys, int changes)
{
    FlatTable<unsigned, unsigned, Hash> table;
    std::unordered_map<unsigned, unsigned> reference;
    std::mt19937 random(7);
    for (int i = 0; i < changes; ++i) {
        const unsigned key = random() % keys;
        switch (random() % 4) {
        case 0:
        case 1:
            ++table[key];
            ++reference[key];
            break;
        case 2:
            table.erase(key);
            reference.erase(key);
            break;
        default:
            if (i % 500 == 0) {
                table.eraseIf([](unsigned, unsigned value) { return value % 2 == 1; });
                std::erase_if(reference, [](const auto &entry) { return entry.second % 2 == 1; });
            }
        }
        const auto *found = table.find(key);
        const auto expected = reference.find(key);
        QVERIFY2((found == nullptr) == (expected == reference.end()), qPrintable(QString::number(i)));
        QVERIFY(!found || *found == expected->second);
        QCOMPARE(table.size(), reference.size());
    }
    for (unsigned key = 0; key < keys; ++key)
        QCOMPARE(table.find(key) ? *table.find(key) : 0u, reference.count(key) ? reference[key] : 0u);
}

} // namespace

Q_DECLARE_METATYPE(QList<Action>)
Q_DECLARE_METATYPE(StoreSettings)
Q_DECLARE_METATYPE(NetworkLimits)
Q_DECLARE_METATYPE(QList<Connection>)
Q_DECLARE_METATYPE(std::function<void(tarnivel::dirserver::MetricsSnapshot &)>)

class TestRoomStore : public QObject
{
    Q_OBJECT
private slots:
    void byTheStoresClock_data();
    void byTheStoresClock();
    void connectionsPerNetwork_data();
    void connectionsPerNetwork();
    void refusalsReadAsErrorsByOlderCopies_data();
    void refusalsReadAsErrorsByOlderCopies();
    void flatTableAgreesWithAMap_data();
    void flatTableAgreesWithAMap();
    void metricsPage_data();
    void metricsPage();
};

void TestRoomStore::byTheStoresClock_data()
{
    QTest::addColumn<StoreSettings>("settings");
    QTest::addColumn<QList<Action>>("actions");
    const auto W = EnterOutcome::Waiting, F = EnterOutcome::Found;
    const auto Rooms = EnterOutcome::TooManyRooms, Waits = EnterOutcome::TooManyWaits;
    // Unless said otherwise: a wait lasts 1000 ms, 2 rooms per caller, none per network, 3 waits in all.
    const StoreSettings standard{1000ms, {2, 0, 0, 0}, 3};
    QTest::newRow("a wait lasts until just before its deadline")
        << standard
        << QList<Action>{{0, 1, Op::Enter, "lobby", W},
                         {999, 2, Op::Enter, "lobby", F, 1},
                         {1000, 2, Op::Enter, "lobby", W, 0, 1},
                         {1000, 1, Op::Enter, "lobby", F, 2}};
    QTest::newRow("asking again renews the wait from then") << standard
                                                            << QList<Action>{{0, 1, Op::Enter, "lobby", W},
                                                                             {900, 1, Op::Enter, "lobby", W},
                                                                             {1899, 2, Op::Enter, "lobby", F, 1},
                                                                             {1900, 2, Op::Enter, "lobby", W}};
    QTest::newRow("being found does not renew the wait")
        << standard
        << QList<Action>{
               {0, 1, Op::Enter, "lobby", W}, {500, 2, Op::Enter, "lobby", F, 1}, {1000, 3, Op::Enter, "lobby", W}};
    QTest::newRow("renewal moves a wait behind later ones") << standard
                                                            << QList<Action>{{0, 1, Op::Enter, "a", W},
                                                                             {100, 2, Op::Enter, "b", W},
                                                                             {200, 1, Op::Enter, "a", W},
                                                                             {1100, 3, Op::Enter, "b", W, 0, 2},
                                                                             {1199, 3, Op::Enter, "a", F, 1}};
    QTest::newRow("rooms per caller come back on expiry") << standard
                                                          << QList<Action>{{0, 1, Op::Enter, "a", W},
                                                                           {10, 1, Op::Enter, "b", W},
                                                                           {20, 1, Op::Enter, "c", Rooms},
                                                                           {1009, 1, Op::Enter, "c", W},
                                                                           {1010, 1, Op::Enter, "d", W, 0, 2}};
    QTest::newRow("rooms per caller counted per key") << standard
                                                      << QList<Action>{{0, 10, Op::Enter, "a", W},
                                                                       {0, 11, Op::Enter, "b", W},
                                                                       {0, 11, Op::Enter, "c", Rooms},
                                                                       {0, 10, Op::Enter, "b", F, 11}};
    QTest::newRow("waits in all come back on expiry and on withdrawal")
        << standard
        << QList<Action>{{0, 1, Op::Enter, "a", W},
                         {0, 2, Op::Enter, "b", W},
                         {500, 3, Op::Enter, "c", W},
                         {600, 4, Op::Enter, "d", Waits, 0, 3},
                         {600, 4, Op::Enter, "a", F, 1},
                         {1000, 4, Op::Enter, "d", W, 0, 2},
                         {1100, 3, Op::Withdraw, "c", W, 0, 1},
                         {1100, 5, Op::Enter, "e", W, 0, 2}};
    QTest::newRow("withdrawing someone else's wait changes nothing")
        << standard
        << QList<Action>{{0, 1, Op::Enter, "lobby", W},
                         {10, 2, Op::Withdraw, "lobby", W, 0, 1},
                         {20, 2, Op::Enter, "lobby", F, 1},
                         {30, 1, Op::Withdraw, "lobby", W, 0, 0},
                         {40, 2, Op::Enter, "lobby", W}};
    QTest::newRow("an expired wait cannot be withdrawn twice") << standard
                                                               << QList<Action>{{0, 1, Op::Enter, "a", W},
                                                                                {1000, 1, Op::Withdraw, "a", W, 0, 0},
                                                                                {1000, 1, Op::Enter, "a", W, 0, 1},
                                                                                {1000, 1, Op::Enter, "b", W, 0, 2}};
    // 1 room per caller, 2 per /56, 3 per /48, 2 per /24.
    const StoreSettings perNetwork{1000ms, {1, 2, 3, 2}, 100};
    QTest::newRow("rooms per /56 and /48")
        << perNetwork << QList<Action>{{0, 20, Op::Enter, "a", W},        {0, 21, Op::Enter, "b", W},
                                       {0, 25, Op::Enter, "c", Rooms},    {0, 22, Op::Enter, "c", W},
                                       {0, 23, Op::Enter, "d", Rooms},    {0, 24, Op::Enter, "d", W},
                                       {0, 23, Op::Enter, "b", F, 21},    {10, 20, Op::Withdraw, "a", W, 0, 3},
                                       {10, 23, Op::Enter, "e", W, 0, 4}, {1000, 25, Op::Enter, "f", W, 0, 2}};
    QTest::newRow("rooms per IPv4 /24") << perNetwork
                                        << QList<Action>{{0, 30, Op::Enter, "a", W},
                                                         {0, 31, Op::Enter, "b", W},
                                                         {0, 32, Op::Enter, "c", Rooms},
                                                         {0, 33, Op::Enter, "c", W},
                                                         {1000, 32, Op::Enter, "c", W}};
}

void TestRoomStore::byTheStoresClock()
{
    QFETCH(StoreSettings, settings);
    QFETCH(QList<Action>, actions);
    MemoryRoomStore store(settings);
    const MemoryRoomStore::Clock::time_point start{};
    for (int i = 0; i < actions.size(); ++i) {
        const Action &a = actions[i];
        const auto now = start + std::chrono::milliseconds(a.atMs);
        const std::string who = address(a.caller);
        const CallerNetworks whose = networks(a.caller);
        const QByteArray where = QByteArray("action ") + QByteArray::number(i + 1);
        if (a.op == Op::Withdraw) {
            store.withdrawAt(a.room, {who, whose}, now);
        } else {
            const EnterResult result = store.enterAt(a.room, {who, whose}, now);
            QVERIFY2(result.outcome == a.outcome, where.constData());
            QCOMPARE(result.waiter, a.outcome == EnterOutcome::Found ? address(a.waiter) : std::string());
        }
        if (a.waitsAfter != std::size_t(-1))
            QVERIFY2(store.waits() == a.waitsAfter,
                     (where + " waits " + QByteArray::number(store.waits())).constData());
    }
}

void TestRoomStore::connectionsPerNetwork_data()
{
    QTest::addColumn<NetworkLimits>("caps");
    QTest::addColumn<unsigned>("inAll");
    QTest::addColumn<QList<Connection>>("connections");
    const auto Open = Connect::Open, Address = Connect::PerAddress, Network = Connect::PerNetwork;
    QTest::newRow("per /64, /56 and /48")
        << NetworkLimits{2, 3, 4, 0} << 0u << QList<Connection>{{20, Open},    {20, Open},    {20, Address},
                                                                {21, Open},    {25, Network}, {22, Open},
                                                                {23, Network}, {24, Open},    {0, Connect::CloseOldest},
                                                                {23, Open},    {25, Network}};
    // The /64 taken by a connection the /48 refused is given back.
    QTest::newRow("a refusal keeps nothing")
        << NetworkLimits{1, 0, 1, 0} << 0u
        << QList<Connection>{{20, Open}, {22, Network}, {0, Connect::CloseOldest}, {22, Open}};
    QTest::newRow("per IPv4 /24") << NetworkLimits{0, 0, 0, 2} << 0u
                                  << QList<Connection>{{30, Open}, {31, Open}, {32, Network}, {33, Open}};
    QTest::newRow("in all") << NetworkLimits{} << 2u
                            << QList<Connection>{
                                   {1, Open}, {10, Open}, {20, Connect::Server}, {0, Connect::CloseOldest}, {20, Open}};
}

void TestRoomStore::connectionsPerNetwork()
{
    QFETCH(NetworkLimits, caps);
    QFETCH(unsigned, inAll);
    QFETCH(QList<Connection>, connections);
    LimitSettings settings;
    settings.connections = caps;
    settings.maxConnections = inAll;
    CallerLimits limits(settings);
    std::list<CallerLimits::ConnectionSlot> open;
    for (int i = 0; i < connections.size(); ++i) {
        const auto &c = connections[i];
        const QByteArray where = "connection " + QByteArray::number(i + 1);
        if (c.expected == Connect::CloseOldest) {
            open.pop_front();
            continue;
        }
        auto admission = limits.openConnection(networks(c.caller));
        const Connect got = admission.slot                       ? Connect::Open
            : admission.refusal == ConnectionRefusal::PerAddress ? Connect::PerAddress
            : admission.refusal == ConnectionRefusal::PerNetwork ? Connect::PerNetwork
                                                                 : Connect::Server;
        QVERIFY2(got == c.expected, where.constData());
        if (admission.slot)
            open.push_back(std::move(*admission.slot));
        QCOMPARE(limits.openConnections(), unsigned(open.size()));
    }
}

void TestRoomStore::refusalsReadAsErrorsByOlderCopies_data()
{
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("body");
    const auto row = [](const char *reason, std::string_view body) {
        QTest::newRow(reason) << QByteArray(reason) << QByteArray(body.data(), qsizetype(body.size()));
    };
    row("BadRequest", replies::BadRequest);
    row("NoForwardedAddress", replies::NoForwardedAddress);
    row("RepeatedForwardedFor", replies::RepeatedForwardedFor);
    row("Forbidden", replies::Forbidden);
    row("MethodNotAllowed", replies::MethodNotAllowed);
    row("PayloadTooLarge", replies::PayloadTooLarge);
    row("URITooLong", replies::UriTooLong);
    row("RequestHeaderFieldsTooLarge", replies::HeaderTooLarge);
    row("TooManyRooms", replies::TooManyRooms);
    row("TooManyRequests", replies::TooManyRequests);
    row("TooManyConnections", replies::TooManyConnections);
    row("TooManyChecks", replies::TooManyChecks);
    row("Unavailable", replies::Unavailable);
    row("Busy", replies::Busy);
    row("TooManyWaits", replies::TooManyWaits);
    row("Draining", replies::Draining);
}

// Older copies read any body of 1 to 20 characters (code page 932) as a partner's address and
// dial it: a refusal is longer, so they say "CGIエラーです". The access log keeps the reason.
void TestRoomStore::refusalsReadAsErrorsByOlderCopies()
{
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, body);
    QVERIFY(std::all_of(body.begin(), body.end(), [](char c) { return uchar(c) >= 0x20 && uchar(c) < 0x7F; }));
    QCOMPARE(tarnivel::classifyRoomReply(QString::fromLatin1(body)), tarnivel::RoomReply::CgiError);
    QVERIFY(body.startsWith(reason + ": "));
    // Whatever its status, from 400 up (a 200's body is logged whole).
    const std::string_view text(body.constData(), std::size_t(body.size()));
    for (const unsigned status : {400u, 503u})
        QCOMPARE(QByteArray::fromStdString(std::string(loggedBody(status, text))), reason);
    QCOMPARE(loggedBody(200, text), text);
}

void TestRoomStore::flatTableAgreesWithAMap_data()
{
    QTest::addColumn<bool>("crowded");
    QTest::addColumn<unsigned>("keys");
    QTest::addColumn<int>("changes");
    QTest::newRow("spread keys, many doublings") << false << 3000u << 20000;
    QTest::newRow("crowded keys wrapping round the end") << true << 7u << 4000;
    QTest::newRow("crowded keys, the table growing") << true << 60u << 4000;
}

void TestRoomStore::flatTableAgreesWithAMap()
{
    QFETCH(bool, crowded);
    QFETCH(unsigned, keys);
    QFETCH(int, changes);
    if (crowded)
        compareWithAMap<CrowdedHash>(keys, changes);
    else
        compareWithAMap<std::hash<unsigned>>(keys, changes);
}

void TestRoomStore::metricsPage_data()
{
    QTest::addColumn<std::function<void(MetricsSnapshot &)>>("count");
    QTest::addColumn<QByteArray>("line");
    using Count = std::function<void(MetricsSnapshot &)>;
    QTest::newRow("a status not kept apart") << Count([](MetricsSnapshot &snapshot) {
        ThreadCounters counters;
        counters.countRequest(RequestClass::Enter, 302, 1ms);
        snapshot.add(counters);
    }) << QByteArray(R"(requests_total{class="enter",status="other"} 1)");
    QTest::newRow("the first Redis error kind, from two threads") << Count([](MetricsSnapshot &snapshot) {
        ThreadCounters one, two;
        one.countRedisError(RedisError::Connect);
        two.countRedisError(RedisError::Connect);
        snapshot.add(one);
        snapshot.add(two);
    }) << QByteArray(R"(redis_errors_total{kind="connect"} 2)");
    QTest::newRow("draining") << Count([](MetricsSnapshot &snapshot) { snapshot.draining = true; })
                              << QByteArray("draining 1");
}

void TestRoomStore::metricsPage()
{
    QFETCH(std::function<void(MetricsSnapshot &)>, count);
    QFETCH(QByteArray, line);
    MetricsSnapshot snapshot;
    count(snapshot);
    const QByteArray page = QByteArray::fromStdString(renderMetrics(snapshot, "1.0"));
    QVERIFY2(page.contains("\ntarnivel_directory_" + line + "\n"), page.constData());
    QVERIFY2(!page.contains("=\"\""), page.constData()); // every label names something
}

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
