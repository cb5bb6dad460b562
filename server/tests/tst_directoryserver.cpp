// tarnivel-directory as a client sees it: a real server process (and real redis-server
// processes) on loopback, spoken to with raw HTTP from distinct 127.0.0.N addresses.
#include "childprocess.h"
#include "rawhttp.h"
#include "serverprocesses.h"

#include "directory/roomreply.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// One request of a scenario and the exact answer it must get.
struct Step
{
    int caller;
    QByteArray target;
    int status;
    QByteArray body;         // of a refusal (400 and up), its reason alone: see isRefusal
    QByteArray headers = {}; // extra header lines
    // Until: asked again (every 100 ms, within the rate limit) until this answer comes, as
    // when a wait ends by the store's own clock; the answers before it must change nothing.
    enum When { Once, Until } when = Once;
    int frontEnd = 0;
};
using Steps = QList<Step>;

enum class Backend { Memory, Redis };

// "雑談" and "ソフト" (whose second byte is 0x5C, a backslash in ASCII) in code page 932.
const QByteArray Zatsudan = QByteArray::fromHex("8E47926B");
const QByteArray Sofuto = QByteArray::fromHex("835C83748367");

QByteArray forwardedFor(const QByteArray &value)
{
    return "X-Forwarded-For: " + value + "\r\n";
}

// Older copies read every body with the rule of the program's classifyRoomReply, whatever
// the status: a body of 1 to 20 characters they would dial as the waiting partner's address.
// A refusal must read as an error there ("CGIエラーです"); ASCII, so that its characters in
// code page 932 are its bytes.
bool olderCopiesReadAnError(const QByteArray &body)
{
    const bool ascii = std::all_of(body.begin(), body.end(), [](char c) { return uchar(c) < 0x80; });
    return ascii && tarnivel::classifyRoomReply(QString::fromLatin1(body)) == tarnivel::RoomReply::CgiError;
}

// A refusal's body: its reason, ": " and why, read by older copies as an error.
bool isRefusal(const QByteArray &body, const QByteArray &reason)
{
    return body.startsWith(reason + ": ") && olderCopiesReadAnError(body);
}

QStringList redisArguments(const RedisServer &redis)
{
    return {"--redis", redis.address()};
}

// A connection from 127.0.0.<caller> that stays open.
std::unique_ptr<QTcpSocket> openConnection(quint16 port, int caller)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(callerAddress(caller)))
        return nullptr;
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(2000))
        return nullptr;
    return socket;
}

bool waitForClose(QTcpSocket &socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs)
        socket.waitForReadyRead(20);
    return socket.state() != QAbstractSocket::ConnectedState;
}

// Asks again every 50 ms until the answer is the expected one or the time (by the wall clock)
// is up; the last answer.
template <typename Ask, typename Value>
Value eventually(Ask ask, const Value &expected, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    auto answer = ask();
    while (answer != expected && clock.elapsed() < timeoutMs) {
        QTest::qWait(50);
        answer = ask();
    }
    return answer;
}

// Runs a shell script in the folder; its exit status.
int shell(const QString &folder, const QString &script)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    tarnivel::test::endWithThisProcess(process);
    process.start("sh", {"-c", script});
    process.waitForFinished(30000);
    if (process.exitCode() != 0)
        qWarning("%s", process.readAllStandardError().constData());
    return process.exitCode();
}

} // namespace

Q_DECLARE_METATYPE(Step)

class DirectoryServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversations_data();
    void conversations();
    void twoFrontEndsShareRedis();
    void badInputKeepsOtherRooms_data();
    void badInputKeepsOtherRooms();
    void stalledConnectionTimesOut_data();
    void stalledConnectionTimesOut();
    void tricklingSenderIsCutAtTheTimeout();
    void requestsPerAddressAreLimited();
    void pipelinedBadMethodsAreRateLimited();
    void connectionsAreCapped_data();
    void connectionsAreCapped();
    void silentConnectionsMakeRoomWhenFull();
    void failedAcceptsAreToldOnceAndRetried();
    void keptAliveConnectionAnswersAgain();
    void longConnectionsSpreadOverThreads();
    void ipv6Loopback();
    void reachability();
    void accessLogAndStop_data();
    void accessLogAndStop();
    void accessLogNeverHoldsTheServer();
    void metricsFollowThePrometheusTextFormat();
    void healthWithoutRedis();
    void redisPausedIsAnswered503WithinTheTimeout();
    void redisKilledAndRestartedRecovers();
    void redisDownAtStart();
    void redisPasswordAndTls_data();
    void redisPasswordAndTls();
    void redisClusterKeysShareASlot();
    void functionLibraryIsNeverReplaced();
    void drainsOnSigterm();
    void reloadsRoomsOnSighup();
    void configFile_data();
    void configFile();
    void tellsSystemd();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
    void printsHelpAndVersion_data();
    void printsHelpAndVersion();

private:
    QStringList roomArguments() const;
    bool startServer(DirectoryServer &server, Backend backend, const QStringList &arguments);
    void runSteps(const QList<DirectoryServer *> &frontEnds, const Steps &steps);
    bool makeCertificates();

    QTemporaryDir folder;
    QString roomsFile;
    std::unique_ptr<RedisServer> redis;
};

void DirectoryServerTest::initTestCase()
{
    QVERIFY(folder.isValid());
    roomsFile = folder.filePath("rooms.txt");
    QFile file(roomsFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // UTF-8 as Windows editors save it (with a byte order mark), one room per line; a Windows
    // line end and an empty line are tolerated.
    file.write("\xEF\xBB\xBFlobby\n雑談\nソフト\n\ntwo words\r\na+b&c?d\n");
    file.close();
    // 〜 (U+301C) cannot come from a copy: code page 932 writes it as ～ (U+FF5E).
    QFile bad(folder.filePath("bad-rooms.txt"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("lobby\n\n〜まったり〜\n");
}

QStringList DirectoryServerTest::roomArguments() const
{
    return {"--quiet", "--rooms", roomsFile, "--room", "100%", "--room", "%ZZ"};
}

bool DirectoryServerTest::startServer(DirectoryServer &server, Backend backend, const QStringList &arguments)
{
    QStringList all = arguments;
    if (backend == Backend::Redis) {
        // A missing redis-server fails here, loudly: tools/install-deps.sh installs it.
        if (!redis) {
            redis = std::make_unique<RedisServer>();
            if (!redis->start()) {
                qWarning("%s", qPrintable(redis->error()));
                return false;
            }
        }
        if (!redis->isRunning() || !redis->flushAll())
            return false;
        all << redisArguments(*redis);
    }
    if (!server.start(all)) {
        qWarning("%s", qPrintable(server.error()));
        return false;
    }
    return true;
}

void DirectoryServerTest::runSteps(const QList<DirectoryServer *> &frontEnds, const Steps &steps)
{
    for (int i = 0; i < steps.size(); ++i) {
        const auto &step = steps[i];
        const auto ask = [&] {
            return exchange(frontEnds[step.frontEnd]->port(), step.caller, getRequest(step.target, step.headers));
        };
        auto answer = ask();
        const auto expected = [&] {
            return answer.status == step.status
                && (step.status < 400 ? answer.body == step.body : isRefusal(answer.body, step.body));
        };
        if (step.when == Step::Until) {
            QDeadlineTimer patience(30000);
            while (!expected() && !patience.hasExpired()) {
                QTest::qWait(100);
                answer = ask();
            }
        }
        const auto where = QStringLiteral("step %1: %2").arg(i + 1).arg(QString::fromLatin1(step.target.left(60)));
        QVERIFY2(answer.status == step.status, qPrintable(where + " status " + QString::number(answer.status)));
        QVERIFY2(expected(), qPrintable(where + " body " + QString::fromLatin1(answer.body)));
        QVERIFY2(answer.head.contains("\r\nContent-Type: text/plain\r\n"), qPrintable(where));
    }
}

void DirectoryServerTest::conversations_data()
{
    QTest::addColumn<int>("backend");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Steps>("steps");

    const auto a1 = callerText(1), a2 = callerText(2), a3 = callerText(3), a4 = callerText(4), a5 = callerText(5);
    const QByteArray pluses(10000, '+');
    const QStringList proxies{"--trust-proxy", "127.0.0.1/32", "--trust-proxy", "10.9.0.0/16"};
    // Callers of one network, each waiting in a room of its own, until the network holds
    // as many rooms as it may: the next is refused.
    const auto fillNetwork = [](int rooms, QByteArray (*caller)(int)) {
        Steps steps;
        for (int i = 1; i <= rooms + 1; ++i)
            steps.append({1, "/?r" + QByteArray::number(i), i <= rooms ? 200 : 429,
                          i <= rooms ? "NoUser" : "TooManyRooms", forwardedFor(caller(i))});
        return steps;
    };
    const struct
    {
        const char *name;
        QStringList arguments;
        Steps steps;
    } scenarios[] = {
        {"each reply class",
         {},
         {{1, "/?lobby", 200, "NoUser"},
          {2, "/?lobby", 200, a1},
          {3, "/?nowhere", 200, "NotFound"},
          {4, "/myip", 200, a4},
          {1, "/?lobby+quit", 200, "OK"}}},
        {"the wait stays and renews as the room grows",
         {},
         {{1, "/?lobby", 200, "NoUser"},
          {2, "/?lobby", 200, a1},
          {3, "/?lobby", 200, a1},
          {1, "/?lobby", 200, "NoUser"},
          {4, "/?lobby", 200, a1}}},
        {"withdraw",
         {},
         {{1, "/?lobby", 200, "NoUser"},
          {2, "/?lobby+quit", 200, "OK"},
          {3, "/?lobby", 200, a1},
          {1, "/?lobby+quit", 200, "OK"},
          {3, "/?lobby", 200, "NoUser"},
          {1, "/?lobby", 200, a3},
          {1, "/?nowhere+quit", 200, "OK"}}},
        {"any path but the server's own",
         {},
         {{1, "/cgi-bin/dir.cgi?lobby", 200, "NoUser"},
          {2, "/?lobby", 200, a1},
          {3, "/myip?lobby", 200, a3},
          {4, "/myip/x?lobby", 200, a1},
          {1, "/?lobby+quit", 200, "OK"},
          {3, "/?lobby", 200, "NoUser"},
          {5, "/healthz/x?lobby", 200, a3},
          {5, "/reach.cgi?lobby", 200, a3}}},
        {"code page 932, percent-encoded and raw",
         {},
         {{1, "/?%8E%47%92%6B", 200, "NoUser"},
          {2, "/?" + Zatsudan, 200, a1},
          {3, "/?%8e%47%92%6b", 200, a1},
          {1, "/?" + Zatsudan + "+quit", 200, "OK"},
          {3, "/?%8E%47%92%6B", 200, "NoUser"}}},
        {"code page 932 with a backslash as trail byte",
         {},
         {{1, "/?" + Sofuto, 200, "NoUser"},
          {2, "/?%83%5C%83t%83g", 200, a1},
          {3, "/?%E9%9B%91%E8%AB%87", 200, "NotFound"}}},
        {"blank, plus, ampersand and question mark are part of a name",
         {},
         {{1, "/?two%20words", 200, "NoUser"},
          {2, "/?two%20words", 200, a1},
          {1, "/?a+b&c?d", 200, "NoUser"},
          {2, "/?a%2Bb%26c%3Fd", 200, a1},
          {2, "/?a+b&c?d%2Bquit", 200, "NotFound"},
          {1, "/?a+b&c?d+quit", 200, "OK"},
          {2, "/?a+b&c?d", 200, "NoUser"}}},
        {"invalid escapes are kept as they are",
         {},
         {{1, "/?100%", 200, "NoUser"},
          {2, "/?100%25", 200, a1},
          {1, "/?%ZZ", 200, "NoUser"},
          {2, "/?%25ZZ", 200, a1},
          {3, "/?%8", 200, "NotFound"}}},
        {"names no room can have",
         {},
         {{1, "/?", 200, "NotFound"},
          {1, "/", 200, "NotFound"},
          {1, "/?%8E", 200, "NotFound"},
          {1, "/?lobby", 200, "NoUser"}}},
        // Under --open every readable name is a room, so each row below is decided by its
        // own rule alone: control characters, a truncated escape, the length, the "+quit" end.
        {"escapes and pluses when any room exists",
         {"--open"},
         {{1, "/?lobby%0A", 200, "NotFound"},
          {1, "/?lobby%00", 200, "NotFound"},
          {1, "/?%7F", 200, "NotFound"},
          {1, "/?%8E", 200, "NotFound"},
          {1, "/?x%4", 200, "NoUser"},
          {2, "/?x%254", 200, a1},
          {3, "/?%", 200, "NoUser"},
          {4, "/?%25", 200, a3},
          {3, "/?+quit+", 200, "NoUser"},
          {1, "/?+", 200, "NoUser"},
          {2, "/?%2B", 200, a1},
          {1, "/?++quit", 200, "OK"},
          {2, "/?+", 200, "NoUser"},
          {4, "/?" + QByteArray(255, '+'), 200, "NoUser"},
          {5, "/?" + QByteArray(255, '+'), 200, a4},
          {5, "/?" + QByteArray(256, '+'), 200, "NotFound"},
          {5, "/?" + pluses, 200, "NotFound"},
          {4, "/?" + pluses + "quit", 200, "OK"},
          {5, "/?" + QByteArray(255, '+'), 200, a4},
          {4, "/?" + QByteArray(255, '+') + "+quit", 200, "OK"},
          {5, "/?" + QByteArray(255, '+'), 200, "NoUser"}}},
        {"every hex digit of an escape, in either case",
         {"--open"},
         {{1, "/?%4a%4b%4c%4d%4e%4f", 200, "NoUser"},
          {2, "/?JKLMNO", 200, a1},
          {3, "/?%4A%4B%4C%4D%4E%4F", 200, a1},
          {1, "/?%30%31%32%33%34%35%36%37%38%39", 200, "NoUser"},
          {2, "/?0123456789", 200, a1}}},
        {"+quit inside a name is part of it",
         {"--open"},
         {{1, "/?a+quitb", 200, "NoUser"},
          {2, "/?a+quitb", 200, a1},
          {3, "/?a", 200, "NoUser"},
          {4, "/?%2Bquit", 200, "NoUser"},
          {5, "/?%2Bquit", 200, a4},
          {4, "/?%2Bquit+quit", 200, "OK"},
          {5, "/?%2Bquit", 200, "NoUser"}}},
        {"open rooms",
         {"--open"},
         {{1, "/?anything", 200, "NoUser"},
          {2, "/?anything", 200, a1},
          // The longest name, every byte escaped.
          {3, "/?" + QByteArray("%41").repeated(255), 200, "NoUser"},
          {4, "/?" + QByteArray(255, 'A'), 200, a3},
          {1, "/?" + QByteArray(255, 'x'), 200, "NoUser"},
          {1, "/?" + QByteArray(256, 'x'), 200, "NotFound"}}},
        // Renewal to the millisecond is tested on the store itself (tst_roomstore).
        // Two requests in a row take far less than the 2 s a wait lasts.
        {"expiry",
         {"--expiry", "2"},
         {{1, "/?lobby", 200, "NoUser"},
          {2, "/?lobby", 200, a1},
          {2, "/?lobby", 200, "NoUser", {}, Step::Until},
          {1, "/?lobby", 200, a2}}},
        {"rooms per caller",
         {"--open", "--max-rooms-per-caller", "2"},
         {{1, "/?a", 200, "NoUser"},
          {1, "/?b", 200, "NoUser"},
          {1, "/?c", 429, "TooManyRooms"},
          {1, "/?a", 200, "NoUser"},
          {2, "/?c", 200, "NoUser"},
          {1, "/?c", 200, a2},
          {1, "/?a+quit", 200, "OK"},
          {1, "/?d", 200, "NoUser"}}},
        {"rooms per caller come back on expiry",
         {"--open", "--max-rooms-per-caller", "1", "--expiry", "2"},
         {{1, "/?a", 200, "NoUser"}, {1, "/?b", 429, "TooManyRooms"}, {1, "/?b", 200, "NoUser", {}, Step::Until}}},
        {"waits in all",
         {"--open", "--max-waits", "2"},
         {{1, "/?a", 200, "NoUser"},
          {2, "/?b", 200, "NoUser"},
          {3, "/?c", 503, "TooManyWaits"},
          {3, "/?a", 200, a1},
          {1, "/?a", 200, "NoUser"},
          {1, "/?a+quit", 200, "OK"},
          {3, "/?c", 200, "NoUser"}}},
        // 127.0.0.1 is the proxy; 10.9.0.0/16 are proxies in front of it.
        {"behind trusted proxies",
         proxies,
         {{1, "/?lobby", 200, "NoUser", forwardedFor("198.51.100.7")},
          // A client that claims an address in front of what the proxy appended is its real one.
          {1, "/?lobby", 200, "198.51.100.7", forwardedFor("198.51.100.7, 203.0.113.9")},
          {1, "/?lobby+quit", 200, "OK", forwardedFor("198.51.100.7, 203.0.113.9")},
          {1, "/?lobby", 200, "198.51.100.7", forwardedFor("203.0.113.10")},
          {1, "/myip", 200, "203.0.113.9", forwardedFor("198.51.100.7, 203.0.113.9 ,10.9.0.5")},
          {1, "/myip", 200, "10.9.0.5", forwardedFor("10.9.0.5")},
          {1, "/myip", 400, "NoForwardedAddress"},
          {1, "/myip", 400, "NoForwardedAddress", forwardedFor("unknown")},
          {1, "/myip", 400, "NoForwardedAddress", forwardedFor("198.51.100.7, 203.0.113.9:80")},
          {1, "/myip", 400, "RepeatedForwardedFor", forwardedFor("203.0.113.9") + forwardedFor("198.51.100.7")},
          {1, "/myip", 400, "RepeatedForwardedFor",
           forwardedFor("203.0.113.9") + "X-Other: 1\r\n" + forwardedFor("198.51.100.7")},
          // Anyone else is its TCP address, whatever it claims.
          {2, "/myip", 200, a2, forwardedFor("198.51.100.7")},
          {2, "/?lobby+quit", 200, "OK", forwardedFor("198.51.100.7")},
          {3, "/?lobby", 200, "198.51.100.7", forwardedFor("198.51.100.7")},
          {2, "/myip", 400, "RepeatedForwardedFor", forwardedFor("192.0.2.1") + forwardedFor("192.0.2.2")},
          // The proxy may read /metrics, but not for someone outside it forwarded.
          {1, "/metrics", 403, "Forbidden", forwardedFor("198.51.100.7")}}},
        {"IPv6 callers count per /64",
         {"--open", "--trust-proxy", "127.0.0.1", "--max-rooms-per-caller", "1"},
         {{1, "/?a", 200, "NoUser", forwardedFor("2001:db8:1:2::1")},
          {1, "/?b", 429, "TooManyRooms", forwardedFor("2001:db8:1:2::99")},
          {1, "/?b", 200, "NoUser", forwardedFor("2001:db8:1:3::1")},
          {1, "/?a", 200, "2001:db8:1:2::1", forwardedFor("2001:db8:1:2::99")},
          {1, "/?a+quit", 200, "OK", forwardedFor("2001:db8:1:2::99")},
          {1, "/?a", 200, "2001:db8:1:2::1", forwardedFor("[2001:db8:1:4::1]")},
          {1, "/?a+quit", 200, "OK", forwardedFor("2001:db8:1:2::1")},
          {1, "/?c", 200, "NoUser", forwardedFor("2001:db8:1:2::99")},
          {1, "/myip", 200, "192.0.2.1", forwardedFor("::ffff:192.0.2.1")}}},
        // Callers of one network count together too: 2001:db8:1:100::/56 holds the /64s
        // 2001:db8:1:100:: to 2001:db8:1:1ff::, 2001:db8:1::/48 the /56s 2001:db8:1:0:: to
        // 2001:db8:1:ff00::. A request refused by one network is not charged to wider ones.
        {"IPv6 /56 and /48 wait in few rooms",
         {"--open", "--trust-proxy", "127.0.0.1", "--max-rooms-per-caller", "1", "--max-rooms-per-56", "2",
          "--max-rooms-per-48", "3"},
         {{1, "/?a", 200, "NoUser", forwardedFor("2001:db8:1:100::1")},
          {1, "/?b", 200, "NoUser", forwardedFor("2001:db8:1:101::1")},
          {1, "/?c", 429, "TooManyRooms", forwardedFor("2001:db8:1:1ff::1")},
          {1, "/?c", 200, "NoUser", forwardedFor("2001:db8:1:200::1")},
          {1, "/?d", 429, "TooManyRooms", forwardedFor("2001:db8:1:ff00::1")},
          {1, "/?b", 200, "2001:db8:1:101::1", forwardedFor("2001:db8:1:ff00::1")},
          {1, "/?d", 200, "NoUser", forwardedFor("2001:db8:2::1")},
          {1, "/?a+quit", 200, "OK", forwardedFor("2001:db8:1:100::1")},
          {1, "/?e", 200, "NoUser", forwardedFor("2001:db8:1:1ff::1")}}},
        {"IPv4 /24 waits in few rooms",
         {"--open", "--trust-proxy", "127.0.0.1", "--max-rooms-per-24", "2"},
         {{1, "/?a", 200, "NoUser", forwardedFor("198.51.100.1")},
          {1, "/?b", 200, "NoUser", forwardedFor("198.51.100.2")},
          {1, "/?c", 429, "TooManyRooms", forwardedFor("198.51.100.3")},
          {1, "/?c", 200, "NoUser", forwardedFor("198.51.101.3")}}},
        {"IPv4 /24 waits in 64 rooms unless told otherwise",
         {"--open", "--trust-proxy", "127.0.0.1"},
         fillNetwork(64, [](int i) { return "198.51.100." + QByteArray::number(i); })},
        {"IPv6 /56 waits in 16 rooms unless told otherwise",
         {"--open", "--trust-proxy", "127.0.0.1"},
         fillNetwork(16,
                     [](int i) { return "2001:db8:1:1" + QByteArray::number(i, 16).rightJustified(2, '0') + "::1"; })},
        {"IPv6 /48 waits in 64 rooms unless told otherwise",
         {"--open", "--trust-proxy", "127.0.0.1"},
         fillNetwork(64, [](int i) { return "2001:db8:2:" + QByteArray::number(i * 256, 16) + "::1"; })},
        // Burst of 2 from a /56 and of 3 from a /48; all within a second, so nothing refills.
        {"IPv6 /56 and /48 rate limits",
         {"--trust-proxy", "127.0.0.1", "--rate-limit-per-56", "2", "--rate-limit-per-48", "3"},
         {{1, "/myip", 200, "2001:db8:1:100::1", forwardedFor("2001:db8:1:100::1")},
          {1, "/myip", 200, "2001:db8:1:101::1", forwardedFor("2001:db8:1:101::1")},
          {1, "/myip", 429, "TooManyRequests", forwardedFor("2001:db8:1:102::1")},
          {1, "/myip", 200, "2001:db8:1:200::1", forwardedFor("2001:db8:1:200::1")},
          {1, "/myip", 429, "TooManyRequests", forwardedFor("2001:db8:1:300::1")},
          {1, "/myip", 200, "2001:db8:2::1", forwardedFor("2001:db8:2::1")}}},
        {"IPv4 /24 rate limit",
         {"--trust-proxy", "127.0.0.1", "--rate-limit-per-24", "2"},
         {{1, "/myip", 200, "198.51.100.1", forwardedFor("198.51.100.1")},
          {1, "/myip", 200, "198.51.100.2", forwardedFor("198.51.100.2")},
          {1, "/myip", 429, "TooManyRequests", forwardedFor("198.51.100.3")},
          {1, "/myip", 200, "198.51.101.3", forwardedFor("198.51.101.3")}}},
        {"forwarded addresses ignored without --trust-proxy",
         {},
         {{1, "/?lobby", 200, "NoUser", forwardedFor("10.0.0.1")},
          {2, "/?lobby", 200, a1, forwardedFor("10.0.0.2")},
          {3, "/myip", 200, a3, forwardedFor("10.0.0.3") + forwardedFor("10.0.0.4")}}},
    };
    for (const auto &scenario : scenarios) {
        QTest::addRow("memory: %s", scenario.name)
            << int(Backend::Memory) << roomArguments() + scenario.arguments << scenario.steps;
        QTest::addRow("redis: %s", scenario.name)
            << int(Backend::Redis) << roomArguments() + scenario.arguments << scenario.steps;
    }
}

void DirectoryServerTest::conversations()
{
    QFETCH(int, backend);
    QFETCH(QStringList, arguments);
    QFETCH(Steps, steps);
    DirectoryServer server;
    QVERIFY(startServer(server, Backend(backend), arguments));
    runSteps({&server}, steps);
}

void DirectoryServerTest::twoFrontEndsShareRedis()
{
    const QStringList arguments = roomArguments() + QStringList{"--open", "--max-rooms-per-caller", "1"};
    DirectoryServer first, second;
    QVERIFY(startServer(first, Backend::Redis, arguments));
    QVERIFY(startServer(second, Backend::Redis, arguments));
    const auto a1 = callerText(1), a2 = callerText(2);
    runSteps({&first, &second},
             {{1, "/?lobby", 200, "NoUser", {}, Step::Once, 0},
              {2, "/?lobby", 200, a1, {}, Step::Once, 1},
              {1, "/?lobby+quit", 200, "OK", {}, Step::Once, 1},
              {2, "/?lobby", 200, "NoUser", {}, Step::Once, 0},
              {1, "/?lobby", 200, a2, {}, Step::Once, 1},
              {3, "/?x", 200, "NoUser", {}, Step::Once, 0},
              {3, "/?y", 429, "TooManyRooms", {}, Step::Once, 1}});
    if (QTest::currentTestFailed())
        return;
    // The rooms live in Redis, not in either process: a new front end sees them.
    QCOMPARE(first.stop(), 0);
    DirectoryServer third;
    QVERIFY(third.start(arguments + redisArguments(*redis)));
    runSteps({&third}, {{1, "/?lobby", 200, a2}, {4, "/?x", 200, callerText(3)}});
}

void DirectoryServerTest::badInputKeepsOtherRooms_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // a refusal's reason

    QByteArray manyHeaders;
    for (int i = 0; i < 700; ++i)
        manyHeaders += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(48, 'f') + "\r\n";
    QTest::newRow("long URL") << getRequest("/?" + QByteArray(20000, 'x')) << 414 << QByteArray("URITooLong");
    // 16384 bytes of target are read (a name that long is no room); one more is refused.
    QTest::newRow("URL at the limit") << getRequest("/?" + QByteArray(16 * 1024 - 2, 'x')) << 200
                                      << QByteArray("NotFound");
    QTest::newRow("URL one byte past the limit")
        << getRequest("/?" + QByteArray(16 * 1024 - 1, 'x')) << 414 << QByteArray("URITooLong");
    QTest::newRow("request line beyond the head limit")
        << getRequest("/?" + QByteArray(40000, 'x')) << 414 << QByteArray("URITooLong");
    QTest::newRow("many headers") << getRequest("/?lobby", manyHeaders) << 431
                                  << QByteArray("RequestHeaderFieldsTooLarge");
    QTest::newRow("one huge header") << getRequest("/?lobby", "X-Big: " + QByteArray(40000, 'y') + "\r\n") << 431
                                     << QByteArray("RequestHeaderFieldsTooLarge");
    QTest::newRow("a body") << QByteArray("GET /?lobby HTTP/1.1\r\nHost: d\r\nContent-Length: 5\r\n\r\nhello") << 413
                            << QByteArray("PayloadTooLarge");
    QTest::newRow("not HTTP") << QByteArray("\x01\x02\x03 hello\r\n\r\n") << 400 << QByteArray("BadRequest");
    QTest::newRow("a DEL byte in the target") << getRequest("/?lob\x7F"
                                                            "by")
                                              << 400 << QByteArray("BadRequest");
    QTest::newRow("another method") << QByteArray("DELETE /?lobby HTTP/1.1\r\nHost: d\r\nConnection: close\r\n\r\n")
                                    << 405 << QByteArray("MethodNotAllowed");
    // Not bad at all: what the oldest copies send.
    QTest::newRow("bare HTTP/1.0") << QByteArray("GET /?lobby HTTP/1.0\r\n\r\n") << 200 << callerText(1);
}

void DirectoryServerTest::badInputKeepsOtherRooms()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments()));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}});
    const auto answer = exchange(server.port(), 9, request);
    QCOMPARE(answer.status, status);
    QVERIFY2(status == 200 ? answer.body == body : isRefusal(answer.body, body), answer.body.constData());
    QCOMPARE(answer.head.contains("\r\nAllow: GET\r\n"), status == 405); // what a 405 must say
    runSteps({&server}, {{2, "/?lobby", 200, callerText(1)}});
}

void DirectoryServerTest::stalledConnectionTimesOut_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("timeouts");
    const QStringList request{"--request-timeout", "1.5"};
    // A request is given 30 s, but its first byte only 1.2 s: closed long before the 6 s waited.
    const QStringList firstByte{"--request-timeout", "30", "--first-byte-timeout", "1.2"};
    const QByteArray idleAfterAnswer = "GET /?lobby HTTP/1.1\r\nHost: d\r\n\r\n";
    QTest::newRow("nothing sent") << QByteArray() << request;
    QTest::newRow("half a request line") << QByteArray("GET /?lob") << request;
    QTest::newRow("head without its end") << QByteArray("GET /?lobby HTTP/1.1\r\nHost: d\r\n") << request;
    QTest::newRow("idle after an answer") << idleAfterAnswer << request;
    QTest::newRow("nothing sent, first byte due sooner") << QByteArray() << firstByte;
    QTest::newRow("idle after an answer, first byte due sooner") << idleAfterAnswer << firstByte;
}

void DirectoryServerTest::stalledConnectionTimesOut()
{
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, timeouts);
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + timeouts));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}});

    auto stalled = openConnection(server.port(), 8);
    QVERIFY(stalled);
    stalled->write(sent);
    QVERIFY(stalled->waitForBytesWritten(2000) || sent.isEmpty());
    QElapsedTimer clock;
    clock.start();

    // Others are served while the stalled connection is still open.
    runSteps({&server}, {{2, "/?lobby", 200, callerText(1)}});
    QCOMPARE(stalled->state(), QAbstractSocket::ConnectedState);
    QVERIFY(waitForClose(*stalled, 6000));
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
}

void DirectoryServerTest::tricklingSenderIsCutAtTheTimeout()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--request-timeout", "2"}));
    // One byte every 500 ms: a complete head would take 15 s.
    const QByteArray request = "GET /?lobby HTTP/1.1\r\nHost: d\r\n\r\n";
    auto slow = openConnection(server.port(), 8);
    QVERIFY(slow);
    int sent = 0;
    for (; sent < request.size() && slow->state() == QAbstractSocket::ConnectedState; ++sent) {
        slow->write(request.mid(sent, 1));
        slow->waitForBytesWritten(500);
        waitForClose(*slow, 500);
    }
    // Cut long before the head was whole, with no answer.
    QCOMPARE(slow->state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(sent < request.size() / 2, qPrintable(QString::number(sent)));
    QCOMPARE(slow->readAll(), QByteArray());
}

void DirectoryServerTest::requestsPerAddressAreLimited()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--rate-limit", "5"}));
    // A burst of five goes through at once; of the fifteen after it, at most a few can have
    // been refilled meanwhile (one every 200 ms).
    QList<int> statuses;
    for (int i = 0; i < 20; ++i)
        statuses << exchange(server.port(), 3, getRequest("/myip")).status;
    QCOMPARE(statuses.mid(0, 5), QList<int>(5, 200));
    QVERIFY2(statuses.count(429) >= 10, qPrintable(QString::number(statuses.count(429))));
    QCOMPARE(statuses.count(200) + statuses.count(429), 20);
    runSteps({&server},
             {{4, "/myip", 200, callerText(4)},
              {3, "/myip", 429, "TooManyRequests"},
              {3, "/myip", 200, callerText(3), {}, Step::Until}});
}

void DirectoryServerTest::pipelinedBadMethodsAreRateLimited()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--rate-limit", "5"}));
    auto connection = openConnection(server.port(), 30);
    QVERIFY(connection);
    QByteArray flood;
    for (int i = 0; i < 40; ++i)
        flood += "DELETE /?lobby HTTP/1.1\r\nHost: d\r\n\r\n";
    connection->write(flood);
    const auto answers = readAnswers(*connection, 40);
    QVERIFY(!answers.isEmpty());
    // The limit comes before the method is looked at: after the burst, one 429 ends it all.
    QCOMPARE(answers.last().status, 429);
    QVERIFY2(isRefusal(answers.last().body, "TooManyRequests"), answers.last().body.constData());
    QVERIFY2(answers.size() >= 6 && answers.size() <= 8, qPrintable(QString::number(answers.size())));
    for (int i = 0; i + 1 < answers.size(); ++i)
        QCOMPARE(answers[i].status, 405);
    QVERIFY(waitForClose(*connection, 2000));
}

void DirectoryServerTest::connectionsAreCapped_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("heldCallers");
    QTest::addColumn<QByteArray>("sent"); // by each held connection, after a first request
    QTest::addColumn<int>("refusedStatus");
    QTest::addColumn<QByteArray>("refusedBody");
    QTest::addColumn<QByteArray>("reason");
    // Connections that have sent a request's first byte are never closed to make room.
    const QByteArray started = "GET /?lob";
    QTest::newRow("per address") << QStringList{"--max-connections-per-address", "3"} << QList<int>{20, 20, 20}
                                 << QByteArray() << 429 << QByteArray("TooManyConnections")
                                 << QByteArray("connections_per_address");
    QTest::newRow("per address, unless told otherwise")
        << QStringList{"--rate-limit", "0"} << QList<int>(32, 20) << QByteArray() << 429
        << QByteArray("TooManyConnections") << QByteArray("connections_per_address");
    // 127.0.0.20 to .22 and the newcomer .20 are one /24. (Per /56 and /48: tst_roomstore.)
    QTest::newRow("per /24") << QStringList{"--max-connections-per-24", "3"} << QList<int>{21, 22, 23} << QByteArray()
                             << 429 << QByteArray("TooManyConnections") << QByteArray("connections_per_network");
    // One thread: a held connection's bytes are read before a newcomer's connection is taken.
    QTest::newRow("in all, every one busy")
        << QStringList{"--max-connections", "3", "--threads", "1"} << QList<int>{20, 21, 22} << started << 503
        << QByteArray("Busy") << QByteArray("max_connections");
}

void DirectoryServerTest::connectionsAreCapped()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, heldCallers);
    QFETCH(QByteArray, sent);
    QFETCH(int, refusedStatus);
    QFETCH(QByteArray, refusedBody);
    QFETCH(QByteArray, reason);
    DirectoryServer server;
    // The held connections stay however slowly the test runs.
    QVERIFY(server.start(QStringList{"--open", "--first-byte-timeout", "10"} + arguments));
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (const int caller : heldCallers) {
        // Answered once, so surely taken in before the newcomers below.
        held.push_back(openConnection(server.port(), caller));
        QVERIFY(held.back());
        held.back()->write(keepAliveRequest("/myip"));
        QCOMPARE(readAnswers(*held.back(), 1).size(), 1);
        held.back()->write(sent);
        QVERIFY(sent.isEmpty() || held.back()->waitForBytesWritten(1000));
    }
    for (int i = 0; i < 5; ++i) {
        const auto refused = exchange(server.port(), 20, getRequest("/myip"));
        QCOMPARE(refused.status, refusedStatus);
        QVERIFY2(isRefusal(refused.body, refusedBody), refused.body.constData());
    }
    // A closed connection gives its place back.
    held.pop_back();
    QCOMPARE(eventually([&] { return exchange(server.port(), 20, getRequest("/myip")).status; }, 200, 3000), 200);
    held.pop_back();
    // Five refusals at least: more while the closed connection's place was not yet back.
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    const QRegularExpression refusals("tarnivel_directory_refusals_total\\{reason=\"" + reason + "\"\\} (\\d+)\n");
    QVERIFY2(refusals.match(QString::fromLatin1(metrics)).captured(1).toInt() >= 5, metrics.constData());
    held.clear(); // or stopping would wait for the requests begun to end
    QCOMPARE(server.stop(), 0);
    // Counted, not written one by one.
    const auto log = server.accessLog();
    QVERIFY2(!log.contains(refusedBody) && log.contains("GET /myip 200"), log.constData());
}

void DirectoryServerTest::silentConnectionsMakeRoomWhenFull()
{
    // One thread, so that the order in which connections fell silent is the order of the test.
    DirectoryServer server;
    QVERIFY(server.start({"--open", "--max-connections", "3", "--threads", "1", "--first-byte-timeout", "10"}));
    // Answered once and kept alive: silent now, waiting for a next request.
    const auto keptAlive = [&](int caller) {
        auto connection = openConnection(server.port(), caller);
        if (connection) {
            connection->write(keepAliveRequest("/myip"));
            const auto answers = readAnswers(*connection, 1);
            if (answers.size() != 1 || answers[0].body != callerText(caller))
                connection.reset();
        }
        return connection;
    };
    auto oldest = keptAlive(20);
    QVERIFY(oldest);
    auto younger = keptAlive(21);
    QVERIFY(younger);
    auto started = openConnection(server.port(), 22);
    QVERIFY(started);
    started->write("GET /?lob");
    QVERIFY(started->waitForBytesWritten(1000));
    // Full: each newcomer is let in, and the connection silent longest goes.
    auto first = keptAlive(23);
    QVERIFY(first);
    QVERIFY(waitForClose(*oldest, 3000));
    QCOMPARE(younger->state(), QAbstractSocket::ConnectedState);
    auto second = keptAlive(24);
    QVERIFY(second);
    QVERIFY(waitForClose(*younger, 3000));
    QCOMPARE(first->state(), QAbstractSocket::ConnectedState);
    // The one in the middle of a request finishes it.
    started->write("by HTTP/1.1\r\nHost: d\r\n\r\n");
    const auto answers = readAnswers(*started, 1);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].body, QByteArray("NoUser"));
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    static const QRegularExpression closed(
        QStringLiteral("refusals_total\\{reason=\"idle_closed_for_newcomer\"\\} (\\d+)\n"));
    QVERIFY2(closed.match(QString::fromLatin1(metrics)).captured(1).toInt() >= 2, metrics.constData());
}

void DirectoryServerTest::failedAcceptsAreToldOnceAndRetried()
{
    // With few descriptors, accepting fails (EMFILE) while the connections below stay open.
    const auto prlimit = QStandardPaths::findExecutable("prlimit");
    if (prlimit.isEmpty())
        QSKIP("prlimit (util-linux) is not installed");
    // The sanitizers' own checks need descriptors too (they test memory through a pipe), and
    // report nonsense once there are none left.
    if (qEnvironmentVariableIsSet("TARNIVEL_SANITIZED"))
        QSKIP("out of descriptors, a sanitized server cannot run its own checks");
    DirectoryServer server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QVERIFY(server.start({"--open", "--threads", "1", "--max-connections-per-address", "0"}, environment));
    QVERIFY(QProcess::execute(prlimit, {"--pid", QString::number(server.pid()), "--nofile=24:24"}) == 0);
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 40; ++i) {
        held.push_back(openConnection(server.port(), 40 + i % 4));
        QVERIFY(held.back());
    }
    QVERIFY(server.waitForNotice("cannot accept connections", 3000));
    QTest::qWait(1500);
    // Told once, however often it failed meanwhile.
    QCOMPARE(server.notices().count("cannot accept connections"), 1);
    held.clear();
    QCOMPARE(eventually([&] { return exchange(server.port(), 5, getRequest("/myip")).status; }, 200, 5000), 200);
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    static const QRegularExpression failures(QStringLiteral("accept_failures_total (\\d+)"));
    QVERIFY2(failures.match(QString::fromLatin1(metrics)).captured(1).toInt() > 0, metrics.constData());
}

void DirectoryServerTest::keptAliveConnectionAnswersAgain()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments()));
    auto connection = openConnection(server.port(), 1);
    QVERIFY(connection);
    connection->write(keepAliveRequest("/?lobby"));
    auto answers = readAnswers(*connection, 1);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].body, QByteArray("NoUser"));
    QVERIFY(!answers[0].head.contains("Connection: close"));
    // The second request on the same connection.
    connection->write(keepAliveRequest("/myip"));
    answers = readAnswers(*connection, 1);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].body, callerText(1));
    // Two at once (pipelined), answered in order.
    connection->write(keepAliveRequest("/?lobby+quit") + keepAliveRequest("/?lobby"));
    answers = readAnswers(*connection, 2);
    QCOMPARE(answers.size(), 2);
    QCOMPARE(answers[0].body, QByteArray("OK"));
    QCOMPARE(answers[1].body, QByteArray("NoUser"));
    QCOMPARE(connection->state(), QAbstractSocket::ConnectedState);
}

void DirectoryServerTest::longConnectionsSpreadOverThreads()
{
    // Forty connections over four threads by the kernel's hash: some thread soon has two more
    // than another, and connections move. Each goes on answering where it went.
    DirectoryServer server;
    QVERIFY(server.start({"--open", "--threads", "4", "--first-byte-timeout", "10", "--rate-limit-per-24", "0"}));
    std::vector<std::unique_ptr<QTcpSocket>> connections;
    for (int i = 0; i < 40; ++i) {
        connections.push_back(openConnection(server.port(), 60 + i));
        QVERIFY(connections.back());
        connections.back()->write(keepAliveRequest("/myip"));
        const auto answers = readAnswers(*connections.back(), 1);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].body, callerText(60 + i));
    }
    for (int i = 0; i < 40; ++i) {
        const QByteArray room = "/?room" + QByteArray::number(i);
        connections[i]->write(keepAliveRequest(room) + keepAliveRequest(room + "+quit"));
        const auto answers = readAnswers(*connections[i], 2);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers[0].body, QByteArray("NoUser"));
        QCOMPARE(answers[1].body, QByteArray("OK"));
    }
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    static const QRegularExpression moved(QStringLiteral("connections_moved_total (\\d+)"));
    QVERIFY2(moved.match(QString::fromLatin1(metrics)).captured(1).toInt() > 0, metrics.constData());
}

void DirectoryServerTest::ipv6Loopback()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--listen", "[::1]:0"}));
    QVERIFY(server.ipv6Port() != 0);
    const QHostAddress v6(QHostAddress::LocalHostIPv6);
    auto answer = exchangeBetween(v6, v6, server.ipv6Port(), getRequest("/myip"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray("::1"));
    answer = exchangeBetween(v6, v6, server.ipv6Port(), getRequest("/?lobby"));
    QCOMPARE(answer.body, QByteArray("NoUser"));
    // A copy on IPv4 finds the one waiting on IPv6, on the other address of the same server.
    runSteps({&server}, {{2, "/?lobby", 200, "::1"}});
    answer = exchangeBetween(v6, v6, server.ipv6Port(), getRequest("/?lobby+quit"));
    QCOMPARE(answer.body, QByteArray("OK"));
    runSteps({&server}, {{2, "/?lobby", 200, "NoUser"}});
}

void DirectoryServerTest::reachability()
{
    // The join port is 4330; here another, on addresses of the test's own.
    const auto port = freeLoopbackPort();
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TARNIVEL_DIRECTORY_REACH_PORT", QString::number(port));
    QTcpServer joinPort7, joinPort9;
    QVERIFY(joinPort7.listen(callerAddress(7), port));
    QVERIFY(joinPort9.listen(callerAddress(9), port));

    DirectoryServer server;
    QVERIFY(server.start({"--open", "--log-rooms", "--trust-proxy", "127.0.0.1/32"}, environment));
    auto answer = exchange(server.port(), 7, getRequest("/reach"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray("Open"));
    QVERIFY(answer.head.contains("\r\nContent-Type: text/plain\r\n"));
    // It connected, said nothing and left.
    QVERIFY(joinPort7.waitForNewConnection(1000));
    auto *dialled = joinPort7.nextPendingConnection();
    QVERIFY(waitForClose(*dialled, 2000));
    QCOMPARE(dialled->readAll(), QByteArray());
    // Once a minute per caller.
    answer = exchange(server.port(), 7, getRequest("/reach"));
    QCOMPARE(answer.status, 429);
    QVERIFY2(isRefusal(answer.body, "TooManyChecks"), answer.body.constData());
    // Nothing listens on 127.0.0.8. A query naming another address and port is no target:
    // only the caller's own join port is dialled, so the listener on 127.0.0.9 hears nothing
    // and nor does another port of the first caller.
    QTcpServer otherPort7;
    QVERIFY(otherPort7.listen(callerAddress(7), 0));
    const QByteArray elsewhere =
        "/reach?127.0.0.9:" + QByteArray::number(port) + "&port=" + QByteArray::number(otherPort7.serverPort());
    QCOMPARE(exchange(server.port(), 8, getRequest(elsewhere)).body, QByteArray("Closed"));
    QVERIFY(!joinPort9.hasPendingConnections());
    QVERIFY(!otherPort7.waitForNewConnection(300));
    QVERIFY(!joinPort9.hasPendingConnections());
    // Behind the trusted proxy (127.0.0.1) it dials the forwarded address, not the proxy.
    QCOMPARE(exchange(server.port(), 1, getRequest("/reach", forwardedFor("127.0.0.9"))).body, QByteArray("Open"));
    QVERIFY(joinPort9.waitForNewConnection(1000));
    QCOMPARE(exchange(server.port(), 1, getRequest("/reach", forwardedFor("127.0.0.9"))).status, 429);
    QCOMPARE(server.stop(), 0);
    QVERIFY(server.accessLog().contains("127.0.0.7 GET /reach 200 Open\n"));

    DirectoryServer withoutReach;
    QVERIFY(withoutReach.start({"--open", "--quiet", "--no-reach"}, environment));
    answer = exchange(withoutReach.port(), 7, getRequest("/reach"));
    QCOMPARE(answer.status, 404);
    QCOMPARE(answer.body, QByteArray("NotFound"));
    QVERIFY(!joinPort7.waitForNewConnection(300));
}

void DirectoryServerTest::accessLogAndStop_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("interrupt");
    QTest::addColumn<QString>("expected");
    const QString stamp = QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )");
    QTest::newRow("rooms and partners kept private, SIGTERM") << QStringList{} << false
                                                              << "^" + stamp + R"(127\.0\.0\.5 GET /\?\* 200 NoUser\n)"
            + stamp + R"(127\.0\.0\.6 GET /\?\* 200 Found\n)" + stamp + R"(127\.0\.0\.5 GET /\?\* 200 NoUser\n)" + stamp
            + R"(127\.0\.0\.5 GET /\?\*\+quit 200 OK\n)" + stamp + R"(127\.0\.0\.6 GET /\?\* 200 NotFound\n$)";
    QTest::newRow("--log-rooms, SIGINT") << QStringList{"--log-rooms"} << true
                                         << "^" + stamp + R"(127\.0\.0\.5 GET /\?lobby 200 NoUser\n)" + stamp
            + R"(127\.0\.0\.6 GET /\?lobby 200 Found\n)" + stamp + R"(127\.0\.0\.5 GET /\?\\x8EG\\x92k 200 NoUser\n)"
            + stamp + R"(127\.0\.0\.5 GET /\?lobby\+quit 200 OK\n)" + stamp
            + R"(127\.0\.0\.6 GET /\?nowhere 200 NotFound\n$)";
    QTest::newRow("quiet, SIGTERM") << QStringList{"--quiet"} << false << QString("^$");
}

void DirectoryServerTest::accessLogAndStop()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, interrupt);
    QFETCH(QString, expected);
    DirectoryServer server;
    QVERIFY(server.start(QStringList{"--room", "lobby", "--room", "雑談"} + arguments));
    runSteps({&server},
             {{5, "/?lobby", 200, "NoUser"},
              {6, "/?lobby", 200, callerText(5)},
              {5, "/?" + Zatsudan, 200, "NoUser"},
              {5, "/?lobby+quit", 200, "OK"},
              {6, "/?nowhere", 200, "NotFound"}});
    QCOMPARE(server.stop(interrupt), 0);
    const auto log = server.accessLog();
    QVERIFY2(QRegularExpression(expected).match(QString::fromLatin1(log)).hasMatch(), log.constData());
}

void DirectoryServerTest::accessLogNeverHoldsTheServer()
{
    // The log goes into a pipe nobody reads: once it is full, lines are dropped, not waited for.
    const auto fifo = folder.filePath("stalled-log");
    QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
    const int reader = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    DirectoryServer server;
    server.raw().setStandardOutputFile(fifo);
    QVERIFY(server.start({"--room", "lobby", "--log-rooms", "--rate-limit", "0", "--rate-limit-per-24", "0",
                          "--max-connections-per-address", "0"}));
    // About 350 bytes a line: 4000 lines are more than the pipe and the log's 1 MiB together.
    const QByteArray target = "/?" + QByteArray(300, 'x');
    for (int connection = 0; connection < 8; ++connection) {
        auto socket = openConnection(server.port(), 50 + connection);
        QVERIFY(socket);
        for (int batch = 0; batch < 5; ++batch) {
            QByteArray requests;
            for (int i = 0; i < 100; ++i)
                requests += keepAliveRequest(target);
            socket->write(requests);
            const auto answers = readAnswers(*socket, 100, 10000);
            QCOMPARE(answers.size(), 100);
            QCOMPARE(answers.last().body, QByteArray("NotFound"));
        }
    }
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    static const QRegularExpression dropped(QStringLiteral("log_lines_dropped_total (\\d+)"));
    QVERIFY2(dropped.match(QString::fromLatin1(metrics)).captured(1).toInt() > 0, metrics.constData());
    // Stopping gives up on the stalled reader after a moment.
    QCOMPARE(server.stop(), 0);
    ::close(reader);
}

void DirectoryServerTest::metricsFollowThePrometheusTextFormat()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments()));
    runSteps({&server},
             {{1, "/?lobby", 200, "NoUser"}, {2, "/?lobby", 200, callerText(1)}, {3, "/myip", 200, callerText(3)}});
    QCOMPARE(exchange(server.port(), 3, "DELETE / HTTP/1.1\r\nHost: d\r\nConnection: close\r\n\r\n").status, 405);
    const auto answer = exchange(server.port(), 1, getRequest("/metrics"));
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.head.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
    const auto page = QString::fromUtf8(answer.body);
    QVERIFY(page.endsWith('\n'));

    static const QRegularExpression help(QStringLiteral(R"(^# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) \S.*$)"));
    static const QRegularExpression type(
        QStringLiteral(R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)$)"));
    static const QRegularExpression sample(QStringLiteral(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\.)*"(?:,[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\.)*")*\})? ([-+]?(?:[0-9]*\.?[0-9]+(?:[eE][-+]?[0-9]+)?|Inf|NaN))$)"));
    QHash<QString, QString> types;
    QSet<QString> helped;
    QHash<QString, double> values; // name{labels} -> value
    QList<double> buckets;
    for (const auto &line : page.split('\n', Qt::SkipEmptyParts)) {
        if (const auto m = help.match(line); m.hasMatch()) {
            QVERIFY2(!helped.contains(m.captured(1)), qPrintable(line));
            helped.insert(m.captured(1));
        } else if (const auto m = type.match(line); m.hasMatch()) {
            QVERIFY2(!types.contains(m.captured(1)) && helped.contains(m.captured(1)), qPrintable(line));
            types.insert(m.captured(1), m.captured(2));
        } else if (const auto m = sample.match(line); m.hasMatch()) {
            auto family = m.captured(1);
            for (const auto suffix : {"_bucket", "_sum", "_count"})
                if (family.endsWith(suffix) && types.value(family.chopped(qstrlen(suffix))) == "histogram")
                    family.chop(qstrlen(suffix));
            QVERIFY2(types.contains(family), qPrintable("no TYPE before " + line));
            QVERIFY2(family.startsWith("tarnivel_directory_"), qPrintable(line));
            values.insert(m.captured(1) + m.captured(2), m.captured(3).toDouble());
            if (m.captured(1).endsWith("_bucket"))
                buckets << (m.captured(3) == "+Inf" ? qInf() : m.captured(3).toDouble());
        } else {
            QFAIL(qPrintable("not Prometheus text: " + line));
        }
    }
    // Cumulative buckets, the last one (+Inf) the count.
    QVERIFY(!buckets.isEmpty());
    for (int i = 1; i < buckets.size(); ++i)
        QVERIFY(buckets[i] >= buckets[i - 1]);
    QCOMPARE(buckets.last(), values.value("tarnivel_directory_request_duration_seconds_count"));
    QCOMPARE(values.value(R"(tarnivel_directory_requests_total{class="enter",status="200"})"), 2.0);
    QCOMPARE(values.value(R"(tarnivel_directory_requests_total{class="myip",status="200"})"), 1.0);
    QCOMPARE(values.value(R"(tarnivel_directory_requests_total{class="invalid",status="405"})"), 1.0);
    QCOMPARE(values.value("tarnivel_directory_waits"), 1.0);
    QVERIFY(values.value("tarnivel_directory_connections") >= 1.0);
    QCOMPARE(values.value(R"(tarnivel_directory_refusals_total{reason="rate_limit"})"), 0.0);
    QVERIFY(values.contains(R"(tarnivel_directory_redis_errors_total{kind="timeout"})"));
    QVERIFY(values.contains("tarnivel_directory_log_lines_dropped_total"));
    // Only for the machine itself unless --metrics-from says otherwise; through a proxy, only
    // for a forwarded caller in it too.
    DirectoryServer narrow;
    QVERIFY(
        narrow.start(roomArguments() + QStringList{"--metrics-from", "127.0.0.1/32", "--trust-proxy", "127.0.0.1/32"}));
    QCOMPARE(exchange(narrow.port(), 2, getRequest("/metrics")).status, 403);
    QCOMPARE(exchange(narrow.port(), 1, getRequest("/metrics", forwardedFor("127.0.0.1"))).status, 200);
    QCOMPARE(exchange(narrow.port(), 1, getRequest("/metrics", forwardedFor("127.0.0.2"))).status, 403);
}

void DirectoryServerTest::healthWithoutRedis()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments()));
    runSteps({&server}, {{1, "/healthz", 200, "OK"}, {1, "/healthz?lobby", 200, "OK"}});
}

void DirectoryServerTest::redisPausedIsAnswered503WithinTheTimeout()
{
    RedisServer paused;
    QVERIFY2(paused.start(), qPrintable(paused.error()));
    DirectoryServer server;
    QVERIFY(server.start(roomArguments() + redisArguments(paused) + QStringList{"--redis-timeout", "1"}));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}, {1, "/healthz", 200, "OK"}});

    paused.pause();
    // Answered, not held: without a deadline this request would wait as long as Redis sleeps.
    // It has gone out to Redis (the connection was ready), which runs it when it wakes: too
    // late by then, so the wait refused here never begins.
    auto answer = exchange(server.port(), 2, getRequest("/?two%20words"), 4000);
    QCOMPARE(answer.status, 503);
    QVERIFY2(isRefusal(answer.body, "Unavailable"), answer.body.constData());
    // So is every request and health check after it.
    for (int caller = 3; caller < 7; ++caller) {
        const auto path = caller % 2 ? QByteArray("/healthz") : QByteArray("/?lobby");
        answer = exchange(server.port(), caller, getRequest(path), 4000);
        QCOMPARE(answer.status, 503);
    }
    QVERIFY(server.waitForNotice("unavailable"));

    paused.resume();
    QCOMPARE(eventually([&] { return exchange(server.port(), 2, getRequest("/?lobby")).body; }, callerText(1), 8000),
             callerText(1));
    // Every thread's connection is ready again.
    QVERIFY(server.waitForNotice("is back"));
    runSteps({&server}, {{3, "/healthz", 200, "OK"}, {4, "/healthz", 200, "OK"}, {3, "/?two%20words", 200, "NoUser"}});
    const auto metrics = exchange(server.port(), 1, getRequest("/metrics")).body;
    QVERIFY2(!metrics.contains("redis_errors_total{kind=\"timeout\"} 0\n"), metrics.constData());
}

void DirectoryServerTest::redisKilledAndRestartedRecovers()
{
    RedisServer restarted;
    QVERIFY2(restarted.start(), qPrintable(restarted.error()));
    DirectoryServer server;
    QVERIFY(server.start(roomArguments() + redisArguments(restarted)));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}});

    restarted.kill();
    runSteps(
        {&server},
        {{2, "/?lobby", 503, "Unavailable"}, {2, "/healthz", 503, "Unavailable"}, {2, "/myip", 200, callerText(2)}});

    // A new, empty Redis at the same address: the functions are loaded again.
    QVERIFY2(restarted.restart(), qPrintable(restarted.error()));
    QCOMPARE(
        eventually([&] { return exchange(server.port(), 2, getRequest("/?lobby")).body; }, QByteArray("NoUser"), 8000),
        QByteArray("NoUser"));
    QVERIFY(server.waitForNotice("is back"));
    // Functions flushed under a live connection: one request fails, the connection loads them again.
    QCOMPARE(restarted.command({"FUNCTION", "FLUSH"}), QByteArray("+OK"));
    QCOMPARE(eventually([&] { return exchange(server.port(), 3, getRequest("/?lobby")).body; }, callerText(2), 8000),
             callerText(2));
}

void DirectoryServerTest::redisDownAtStart()
{
    RedisServer later;
    QVERIFY2(later.start(), qPrintable(later.error()));
    later.kill();
    DirectoryServer server;
    QVERIFY(server.start(roomArguments() + redisArguments(later), QProcessEnvironment::systemEnvironment(), false));
    // The port is open and says what it can.
    runSteps(
        {&server},
        {{1, "/healthz", 503, "Unavailable"}, {1, "/?lobby", 503, "Unavailable"}, {1, "/myip", 200, callerText(1)}});
    QVERIFY(later.restart());
    QVERIFY(server.waitForNotice("using redis"));
    runSteps({&server},
             {{1, "/healthz", 200, "OK"}, {1, "/?lobby", 200, "NoUser"}, {2, "/?lobby", 200, callerText(1)}});
}

bool DirectoryServerTest::makeCertificates()
{
    if (QFile::exists(folder.filePath("client.crt")))
        return true;
    // A certificate authority, Redis's certificate for 127.0.0.1, a client certificate, and a
    // stranger's authority that signed none of them.
    return shell(folder.path(), R"(set -e
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $ec -keyout ca.key -out ca.crt -days 2 -subj /CN=tarnivel-test-ca 2>/dev/null
openssl req -x509 $ec -keyout other.key -out other.crt -days 2 -subj /CN=someone-else 2>/dev/null
for who in server client; do
  openssl req $ec -keyout $who.key -out $who.csr -subj /CN=$who 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1,DNS:redis.test\n' > $who.ext
  openssl x509 -req -in $who.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out $who.crt -days 2 -extfile $who.ext 2>/dev/null
done
printf 'right-password\n' > password
printf 'wrong-password\n' > wrong-password
)") == 0;
}

void DirectoryServerTest::redisPasswordAndTls_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem"); // empty: it works
    const QStringList tls{"--redis-tls", "--redis-tls-ca",  "ca.crt",    "--redis-tls-cert",
                          "client.crt",  "--redis-tls-key", "client.key"};
    QTest::newRow("password and TLS") << QStringList{"--redis-password-file", "password"} + tls << QString();
    QTest::newRow("TLS by the name in the certificate")
        << QStringList{"--redis-password-file", "password", "--redis-tls-name", "redis.test"} + tls << QString();
    QTest::newRow("wrong password") << QStringList{"--redis-password-file", "wrong-password"} + tls << "AUTH refused";
    QTest::newRow("no password") << tls << "NOAUTH";
    QTest::newRow("certificate of another authority")
        << QStringList{"--redis-password-file", "password",   "--redis-tls",     "--redis-tls-ca", "other.crt",
                       "--redis-tls-cert",      "client.crt", "--redis-tls-key", "client.key"}
        << "TLS";
    QTest::newRow("certificate for another name")
        << QStringList{"--redis-password-file", "password", "--redis-tls-name", "elsewhere.test"} + tls << "TLS";
    QTest::newRow("no client certificate")
        << QStringList{"--redis-password-file", "password", "--redis-tls", "--redis-tls-ca", "ca.crt"} << "TLS";
}

void DirectoryServerTest::redisPasswordAndTls()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    QVERIFY(makeCertificates());
    static std::unique_ptr<RedisServer> secured;
    static quint16 tlsPort = 0;
    if (!secured) {
        tlsPort = freeLoopbackPort();
        secured = std::make_unique<RedisServer>();
        QVERIFY2(secured->start({"--requirepass", "right-password", "--tls-port", QString::number(tlsPort),
                                 "--tls-cert-file", folder.filePath("server.crt"), "--tls-key-file",
                                 folder.filePath("server.key"), "--tls-ca-cert-file", folder.filePath("ca.crt")}),
                 qPrintable(secured->error()));
    }
    for (auto &argument : arguments)
        if (QFile::exists(folder.filePath(argument)))
            argument = folder.filePath(argument);
    DirectoryServer server;
    const auto all = roomArguments() + QStringList{"--redis", QStringLiteral("127.0.0.1:%1").arg(tlsPort)} + arguments;
    QVERIFY(server.start(all, QProcessEnvironment::systemEnvironment(), problem.isEmpty()));
    if (problem.isEmpty()) {
        runSteps({&server},
                 {{1, "/?lobby", 200, "NoUser"}, {2, "/?lobby", 200, callerText(1)}, {1, "/?lobby+quit", 200, "OK"}});
        return;
    }
    QVERIFY2(server.waitForNotice(problem, 5000), qPrintable(server.notices()));
    runSteps({&server}, {{1, "/?lobby", 503, "Unavailable"}});
}

void DirectoryServerTest::redisClusterKeysShareASlot()
{
    // A one-node cluster still refuses a function whose keys lie in different slots.
    RedisServer cluster;
    QVERIFY2(cluster.start({"--cluster-enabled", "yes", "--cluster-config-file",
                            folder.filePath(QStringLiteral("nodes-%1.conf").arg(freeLoopbackPort()))}),
             qPrintable(cluster.error()));
    QCOMPARE(cluster.command({"CLUSTER", "ADDSLOTSRANGE", "0", "16383"}), QByteArray("+OK"));
    QCOMPARE(eventually(
                 [&] {
                     return cluster.command({"SET", "probe", "1"});
                 },
                 QByteArray("+OK"), 10000),
             QByteArray("+OK"));
    DirectoryServer server;
    QVERIFY(
        server.start(roomArguments() + redisArguments(cluster) + QStringList{"--open", "--max-rooms-per-caller", "2"}));
    runSteps({&server},
             {{1, "/?lobby", 200, "NoUser"},
              {2, "/?lobby", 200, callerText(1)},
              {1, "/?" + Zatsudan, 200, "NoUser"},
              {1, "/?third", 429, "TooManyRooms"},
              {1, "/?lobby+quit", 200, "OK"},
              {2, "/?lobby", 200, "NoUser"}});
}

void DirectoryServerTest::functionLibraryIsNeverReplaced()
{
    RedisServer shared;
    QVERIFY2(shared.start(), qPrintable(shared.error()));
    // What an older front end left, and a library of this very version already there (here a
    // doctored one, to see whose functions run).
    const QByteArray older = "#!lua name=tarnivel_directory_2\nredis.register_function('tarnivel_enter_2', function(k, "
                             "a) return {'waiting'} end)";
    const QByteArray doctored =
        "#!lua name=tarnivel_directory_3\n"
        "redis.register_function('tarnivel_enter_3', function(k, a) return {'found', 'doctored'} end)\n"
        "redis.register_function('tarnivel_withdraw_3', function(k, a) return 'ok' end)";
    QCOMPARE(shared.command({"FUNCTION", "LOAD", older}), QByteArray("$20\r\ntarnivel_directory_2"));
    QCOMPARE(shared.command({"FUNCTION", "LOAD", doctored}), QByteArray("$20\r\ntarnivel_directory_3"));
    DirectoryServer server;
    QVERIFY(server.start(roomArguments() + redisArguments(shared)));
    runSteps({&server}, {{1, "/?lobby", 200, "doctored"}});
    QVERIFY(shared.command({"FUNCTION", "LIST", "LIBRARYNAME", "tarnivel_directory_2"}).contains("tarnivel_enter_2"));
    // Without it, the server loads its own.
    QCOMPARE(shared.command({"FUNCTION", "DELETE", "tarnivel_directory_3"}), QByteArray("+OK"));
    QCOMPARE(
        eventually([&] { return exchange(server.port(), 1, getRequest("/?lobby")).body; }, QByteArray("NoUser"), 8000),
        QByteArray("NoUser"));
    QVERIFY(shared.command({"FUNCTION", "LIST", "LIBRARYNAME", "tarnivel_directory_2"}).contains("tarnivel_enter_2"));
}

void DirectoryServerTest::drainsOnSigterm()
{
    RedisServer slow;
    QVERIFY2(slow.start(), qPrintable(slow.error()));
    DirectoryServer server;
    QVERIFY(server.start(roomArguments() + redisArguments(slow) + QStringList{"--redis-timeout", "10"}));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}});
    auto idle = openConnection(server.port(), 3);
    QVERIFY(idle);
    // A request in flight: Redis holds its answer while stopped.
    slow.pause();
    auto inFlight = openConnection(server.port(), 2);
    QVERIFY(inFlight);
    inFlight->write(getRequest("/?lobby"));
    QVERIFY(inFlight->waitForBytesWritten(1000));
    QTest::qWait(200);

    server.signal(SIGTERM);
    QVERIFY(server.waitForNotice("SIGTERM"));
    // No new connections; the idle one is closed; the one in flight is not.
    QCOMPARE(eventually([&] { return exchange(server.port(), 4, getRequest("/myip"), 500).status; }, 0, 3000), 0);
    QVERIFY(waitForClose(*idle, 2000));
    QCOMPARE(inFlight->state(), QAbstractSocket::ConnectedState);
    QVERIFY(server.isRunning());

    slow.resume();
    const auto answers = readAnswers(*inFlight, 1);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].status, 200);
    QCOMPARE(answers[0].body, callerText(1));
    QVERIFY(server.waitForExit(5000));
    QCOMPARE(server.raw().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.raw().exitCode(), 0);
}

void DirectoryServerTest::reloadsRoomsOnSighup()
{
    const auto rooms = folder.filePath("reloaded.txt");
    const auto writeRooms = [&](const QByteArray &text) {
        QFile file(rooms);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
    };
    QVERIFY(writeRooms("lobby\n"));
    DirectoryServer server;
    QVERIFY(server.start({"--quiet", "--rooms", rooms}));
    runSteps({&server}, {{1, "/?news", 200, "NotFound"}});
    QVERIFY(writeRooms("lobby\nnews\n"));
    server.signal(SIGHUP);
    QVERIFY(server.waitForNotice("rooms read again"));
    runSteps({&server}, {{1, "/?news", 200, "NoUser"}});
    // A file that is wrong now changes nothing.
    QVERIFY(writeRooms("lobby\nnews\n〜\n"));
    server.signal(SIGHUP);
    QVERIFY(server.waitForNotice("rooms kept as they were"));
    QVERIFY2(server.notices().contains("reloaded.txt:3:"), qPrintable(server.notices()));
    runSteps({&server}, {{2, "/?news", 200, callerText(1)}});
}

void DirectoryServerTest::configFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Steps>("steps");
    QTest::newRow("the file's keys") << QStringList{}
                                     << Steps{{1, "/?a", 200, "NoUser", forwardedFor("10.0.0.1")},
                                              {1, "/?b", 429, "TooManyRooms", forwardedFor("10.0.0.1")},
                                              {2, "/?a", 200, "10.0.0.1"}};
    QTest::newRow("the command line wins") << QStringList{"--max-rooms-per-caller", "2"}
                                           << Steps{{1, "/?a", 200, "NoUser", forwardedFor("10.0.0.1")},
                                                    {1, "/?b", 200, "NoUser", forwardedFor("10.0.0.1")}};
}

void DirectoryServerTest::configFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(Steps, steps);
    const auto config = folder.filePath("directory.conf");
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(
        "# tarnivel-directory\nopen = true\nquiet = true\nmax-rooms-per-caller = 1\ntrust-proxy = 127.0.0.1/32\n");
    file.close();
    DirectoryServer server;
    QVERIFY(server.start(QStringList{"--config", config} + arguments));
    runSteps({&server}, steps);
}

void DirectoryServerTest::tellsSystemd()
{
    // A datagram socket standing in for systemd's NOTIFY_SOCKET.
    const auto path = folder.filePath("notify");
    const int notifySocket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    QVERIFY(notifySocket >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path);
    QVERIFY(::bind(notifySocket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    QStringList said;
    const auto waitFor = [&](const QString &state) {
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            char datagram[1024];
            const auto size = ::recv(notifySocket, datagram, sizeof datagram, 0);
            if (size > 0) {
                said << QString::fromUtf8(datagram, size);
                if (said.last().split('\n').contains(state))
                    return true;
            } else {
                QTest::qWait(20);
            }
        }
        return false;
    };
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NOTIFY_SOCKET", path);
    DirectoryServer server;
    QVERIFY(server.start(roomArguments(), environment));
    QVERIFY2(waitFor("READY=1"), qPrintable(said.join('|')));
    server.signal(SIGHUP);
    QVERIFY2(waitFor("RELOADING=1"), qPrintable(said.join('|')));
    QVERIFY2(waitFor("READY=1"), qPrintable(said.join('|')));
    server.signal(SIGTERM);
    QVERIFY2(waitFor("STOPPING=1"), qPrintable(said.join('|')));
    QVERIFY(server.waitForExit(5000));
    ::close(notifySocket);
}

void DirectoryServerTest::refusesBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    const auto badRooms = folder.filePath("bad-rooms.txt");
    QTest::newRow("no rooms") << QStringList{} << "no rooms";
    QTest::newRow("listen without a port") << QStringList{"--open", "--listen", "127.0.0.1"} << "--listen";
    QTest::newRow("listen on a name") << QStringList{"--open", "--listen", "localhost:80"} << "numeric address";
    QTest::newRow("expiry of zero") << QStringList{"--open", "--expiry", "0"} << "--expiry";
    QTest::newRow("no time for a first byte")
        << QStringList{"--open", "--first-byte-timeout", "0"} << "--first-byte-timeout";
    QTest::newRow("missing rooms file") << QStringList{"--rooms", "/nonexistent/rooms.txt"} << "cannot read";
    QTest::newRow("unknown option") << QStringList{"--open", "--colour"} << "colour";
    QTest::newRow("wave dash in the rooms file") << QStringList{"--rooms", badRooms} << "bad-rooms.txt:3: the room";
    QTest::newRow("wave dash in --room") << QStringList{"--room", "〜"} << "code page 932";
    QTest::newRow("a long room, shown cut short")
        << QStringList{"--room", QString(70, u'a') + "〜"} << "--room \"" + QString(60, u'a') + "\" cannot";
    QTest::newRow("--trust-proxy without its network") << QStringList{"--open", "--trust-proxy"} << "10.0.0.0/8";
    QTest::newRow("a network that is not one")
        << QStringList{"--open", "--trust-proxy", "10.0.0.0/33"} << "wants a network";
    QTest::newRow("redis user without password")
        << QStringList{"--open", "--redis", "127.0.0.1:1", "--redis-user", "u"} << "--redis-password-file";
    QTest::newRow("TLS files without redis") << QStringList{"--open", "--redis-tls-ca", "ca.crt"} << "needs --redis";
    QTest::newRow("missing password file")
        << QStringList{"--open", "--redis", "127.0.0.1:1", "--redis-password-file", "/nonexistent/password"}
        << "cannot read";
    QTest::newRow("missing config file") << QStringList{"--config", "/nonexistent/directory.conf"} << "config file";
}

void DirectoryServerTest::refusesBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QProcess process;
    tarnivel::test::endWithThisProcess(process);
    process.start(directoryProgram(), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    const auto error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.contains("see --help") && error.contains(said), qPrintable(error));
}

void DirectoryServerTest::printsHelpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("version") << QStringList{"--version"} << R"(^tarnivel-directory \d+\.\d+\.\d+\n$)";
    QTest::newRow("help") << QStringList{"--help"} << R"(^tarnivel-directory: .*--version .*--listen .*\n$)";
    QTest::newRow("help wins") << QStringList{"--open", "--version", "-h"} << R"(^tarnivel-directory: .*--listen )";
}

// Printed on standard output with status 0, and nothing started.
void DirectoryServerTest::printsHelpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QProcess process;
    tarnivel::test::endWithThisProcess(process);
    process.start(directoryProgram(), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpression pattern(expected, QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(DirectoryServerTest)
#include "tst_directoryserver.moc"
