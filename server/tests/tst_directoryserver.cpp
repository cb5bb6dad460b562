// tarnivel-directory as a client sees it: a real server process (and a real redis-server) on
// loopback, spoken to with raw HTTP from distinct 127.0.0.N addresses.
#include "rawhttp.h"
#include "serverprocesses.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// One request of a scenario and the exact answer it must get.
struct Step
{
    int caller;
    QByteArray target;
    int status;
    QByteArray body;
    QByteArray headers = {}; // extra header lines
    int pauseMs = 0;         // waited before sending
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
    void requestsPerAddressAreLimited();
    void connectionsPerAddressAreCapped();
    void accessLogAndStop_data();
    void accessLogAndStop();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
    void printsHelpAndVersion_data();
    void printsHelpAndVersion();

private:
    QStringList roomArguments() const;
    bool startServer(DirectoryServer &server, Backend backend, const QStringList &arguments);
    void runSteps(const QList<DirectoryServer *> &frontEnds, const Steps &steps);

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
        all << "--redis" << redis->address();
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
        if (step.pauseMs > 0)
            QTest::qWait(step.pauseMs);
        const auto answer = exchange(frontEnds[step.frontEnd]->port(), step.caller, getRequest(step.target, step.headers));
        const auto where = QStringLiteral("step %1: %2").arg(i + 1).arg(QString::fromLatin1(step.target.left(60)));
        QVERIFY2(answer.status == step.status, qPrintable(where + " status " + QString::number(answer.status)));
        QVERIFY2(answer.body == step.body, qPrintable(where + " body " + QString::fromLatin1(answer.body)));
        QVERIFY2(answer.head.contains("\r\nContent-Type: text/plain\r\n"), qPrintable(where));
    }
}

void DirectoryServerTest::conversations_data()
{
    QTest::addColumn<int>("backend");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Steps>("steps");

    const auto a1 = callerText(1), a2 = callerText(2), a3 = callerText(3), a4 = callerText(4);
    const QByteArray pluses(10000, '+');
    const struct
    {
        const char *name;
        QStringList arguments;
        Steps steps;
    } scenarios[] = {
        {"each reply class", {},
         {{1, "/?lobby", 200, "NoUser"}, {2, "/?lobby", 200, a1}, {3, "/?nowhere", 200, "NotFound"},
          {4, "/myip", 200, a4}, {1, "/?lobby+quit", 200, "OK"}}},
        {"the wait stays and renews as the room grows", {},
         {{1, "/?lobby", 200, "NoUser"}, {2, "/?lobby", 200, a1}, {3, "/?lobby", 200, a1}, {1, "/?lobby", 200, "NoUser"},
          {4, "/?lobby", 200, a1}}},
        {"withdraw", {},
         {{1, "/?lobby", 200, "NoUser"}, {2, "/?lobby+quit", 200, "OK"}, {3, "/?lobby", 200, a1},
          {1, "/?lobby+quit", 200, "OK"}, {3, "/?lobby", 200, "NoUser"}, {1, "/?lobby", 200, a3},
          {1, "/?nowhere+quit", 200, "OK"}}},
        {"any path but the own address", {},
         {{1, "/cgi-bin/dir.cgi?lobby", 200, "NoUser"}, {2, "/?lobby", 200, a1}, {3, "/myip?lobby", 200, a3},
          {4, "/myip/x?lobby", 200, a1}, {1, "/?lobby+quit", 200, "OK"}, {3, "/?lobby", 200, "NoUser"}}},
        {"code page 932, percent-encoded and raw", {},
         {{1, "/?%8E%47%92%6B", 200, "NoUser"}, {2, "/?" + Zatsudan, 200, a1}, {3, "/?%8e%47%92%6b", 200, a1},
          {1, "/?" + Zatsudan + "+quit", 200, "OK"}, {3, "/?%8E%47%92%6B", 200, "NoUser"}}},
        {"code page 932 with a backslash as trail byte", {},
         {{1, "/?" + Sofuto, 200, "NoUser"}, {2, "/?%83%5C%83t%83g", 200, a1},
          {3, "/?%E9%9B%91%E8%AB%87", 200, "NotFound"}}},
        {"blank, plus, ampersand and question mark are part of a name", {},
         {{1, "/?two%20words", 200, "NoUser"}, {2, "/?two%20words", 200, a1}, {1, "/?a+b&c?d", 200, "NoUser"},
          {2, "/?a%2Bb%26c%3Fd", 200, a1}, {2, "/?a+b&c?d%2Bquit", 200, "NotFound"}, {1, "/?a+b&c?d+quit", 200, "OK"},
          {2, "/?a+b&c?d", 200, "NoUser"}}},
        {"invalid escapes are kept as they are", {},
         {{1, "/?100%", 200, "NoUser"}, {2, "/?100%25", 200, a1}, {1, "/?%ZZ", 200, "NoUser"}, {2, "/?%25ZZ", 200, a1},
          {3, "/?%8", 200, "NotFound"}}},
        {"names no room can have", {},
         {{1, "/?", 200, "NotFound"}, {1, "/", 200, "NotFound"}, {1, "/?%8E", 200, "NotFound"},
          {1, "/?lobby%0A", 200, "NotFound"}, {1, "/?" + pluses, 200, "NotFound"}, {1, "/?" + pluses + "quit", 200, "OK"},
          {1, "/?lobby", 200, "NoUser"}}},
        {"open rooms", {"--open"},
         {{1, "/?anything", 200, "NoUser"}, {2, "/?anything", 200, a1}, {1, "/?%8E", 200, "NotFound"},
          {1, "/?" + QByteArray(255, 'x'), 200, "NoUser"}, {1, "/?" + QByteArray(256, 'x'), 200, "NotFound"},
          {3, "/?" + pluses, 200, "NotFound"}}},
        {"expiry and renewal", {"--expiry", "1"},
         {{1, "/?lobby", 200, "NoUser"}, {1, "/?lobby", 200, "NoUser", {}, 600}, {2, "/?lobby", 200, a1, {}, 600},
          {2, "/?lobby", 200, "NoUser", {}, 1100}, {1, "/?lobby", 200, a2}}},
        {"rooms per caller", {"--open", "--max-rooms-per-caller", "2"},
         {{1, "/?a", 200, "NoUser"}, {1, "/?b", 200, "NoUser"}, {1, "/?c", 429, "TooManyRooms"}, {1, "/?a", 200, "NoUser"},
          {2, "/?c", 200, "NoUser"}, {1, "/?c", 200, a2}, {1, "/?a+quit", 200, "OK"}, {1, "/?d", 200, "NoUser"}}},
        {"rooms per caller come back on expiry", {"--open", "--max-rooms-per-caller", "1", "--expiry", "1"},
         {{1, "/?a", 200, "NoUser"}, {1, "/?b", 429, "TooManyRooms"}, {1, "/?b", 200, "NoUser", {}, 1100}}},
        {"behind a trusted proxy", {"--trust-proxy"},
         {{1, "/?lobby", 200, "NoUser", forwardedFor("10.0.0.1")},
          {1, "/?lobby", 200, "10.0.0.1", forwardedFor("203.0.113.9, 10.0.0.1")},
          {2, "/myip", 200, "198.51.100.4", forwardedFor("198.51.100.4 ,10.0.0.1")},
          {2, "/myip", 400, "NoForwardedAddress"}, {2, "/myip", 400, "NoForwardedAddress", forwardedFor("unknown")}}},
        {"forwarded addresses ignored without --trust-proxy", {},
         {{1, "/?lobby", 200, "NoUser", forwardedFor("10.0.0.1")}, {2, "/?lobby", 200, a1, forwardedFor("10.0.0.2")},
          {3, "/myip", 200, a3, forwardedFor("10.0.0.3")}}},
    };
    for (const auto &scenario : scenarios) {
        QTest::addRow("memory: %s", scenario.name) << int(Backend::Memory) << roomArguments() + scenario.arguments << scenario.steps;
        QTest::addRow("redis: %s", scenario.name) << int(Backend::Redis) << roomArguments() + scenario.arguments << scenario.steps;
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
             {{1, "/?lobby", 200, "NoUser", {}, 0, 0}, {2, "/?lobby", 200, a1, {}, 0, 1}, {1, "/?lobby+quit", 200, "OK", {}, 0, 1},
              {2, "/?lobby", 200, "NoUser", {}, 0, 0}, {1, "/?lobby", 200, a2, {}, 0, 1}, {3, "/?x", 200, "NoUser", {}, 0, 0},
              {3, "/?y", 429, "TooManyRooms", {}, 0, 1}});
    if (QTest::currentTestFailed())
        return;
    // The rooms live in Redis, not in either process: a new front end sees them.
    QCOMPARE(first.stop(), 0);
    DirectoryServer third;
    QVERIFY(third.start(arguments + QStringList{"--redis", redis->address()}));
    runSteps({&third}, {{1, "/?lobby", 200, a2}, {4, "/?x", 200, callerText(3)}});
}

void DirectoryServerTest::badInputKeepsOtherRooms_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QByteArray manyHeaders;
    for (int i = 0; i < 700; ++i)
        manyHeaders += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(48, 'f') + "\r\n";
    QTest::newRow("long URL") << getRequest("/?" + QByteArray(20000, 'x')) << 414 << QByteArray("URITooLong");
    QTest::newRow("request line beyond the head limit") << getRequest("/?" + QByteArray(40000, 'x')) << 414
                                                        << QByteArray("URITooLong");
    QTest::newRow("many headers") << getRequest("/?lobby", manyHeaders) << 431 << QByteArray("RequestHeaderFieldsTooLarge");
    QTest::newRow("one huge header") << getRequest("/?lobby", "X-Big: " + QByteArray(40000, 'y') + "\r\n") << 431
                                     << QByteArray("RequestHeaderFieldsTooLarge");
    QTest::newRow("a body") << QByteArray("GET /?lobby HTTP/1.1\r\nHost: d\r\nContent-Length: 5\r\n\r\nhello") << 413
                            << QByteArray("PayloadTooLarge");
    QTest::newRow("not HTTP") << QByteArray("\x01\x02\x03 hello\r\n\r\n") << 400 << QByteArray("BadRequest");
    QTest::newRow("a DEL byte in the target") << getRequest("/?lob\x7F" "by") << 400 << QByteArray("BadRequest");
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
    QCOMPARE(answer.body, body);
    runSteps({&server}, {{2, "/?lobby", 200, callerText(1)}});
}

void DirectoryServerTest::stalledConnectionTimesOut_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("nothing sent") << QByteArray();
    QTest::newRow("half a request line") << QByteArray("GET /?lob");
    QTest::newRow("head without its end") << QByteArray("GET /?lobby HTTP/1.1\r\nHost: d\r\n");
    QTest::newRow("idle after an answer") << QByteArray("GET /?lobby HTTP/1.1\r\nHost: d\r\n\r\n");
}

void DirectoryServerTest::stalledConnectionTimesOut()
{
    QFETCH(QByteArray, sent);
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--request-timeout", "1.5"}));
    runSteps({&server}, {{1, "/?lobby", 200, "NoUser"}});

    QTcpSocket stalled;
    QVERIFY(stalled.bind(callerAddress(8)));
    stalled.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(stalled.waitForConnected(2000));
    stalled.write(sent);
    QVERIFY(stalled.waitForBytesWritten(2000) || sent.isEmpty());
    QElapsedTimer clock;
    clock.start();

    // Others are served while the stalled connection is still open.
    runSteps({&server}, {{2, "/?lobby", 200, callerText(1)}});
    QCOMPARE(stalled.state(), QAbstractSocket::ConnectedState);
    while (stalled.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 6000)
        stalled.waitForReadyRead(50);
    QCOMPARE(stalled.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
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
    runSteps({&server}, {{4, "/myip", 200, callerText(4)}, {3, "/myip", 429, "TooManyRequests"},
                         {3, "/myip", 200, callerText(3), {}, 450}});
}

void DirectoryServerTest::connectionsPerAddressAreCapped()
{
    DirectoryServer server;
    QVERIFY(startServer(server, Backend::Memory, roomArguments() + QStringList{"--max-connections-per-address", "3"}));
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        QVERIFY(idle.back()->bind(callerAddress(20)));
        idle.back()->connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(idle.back()->waitForConnected(2000));
    }
    runSteps({&server}, {{20, "/myip", 429, "TooManyConnections"}, {21, "/myip", 200, callerText(21)}});
    // A closed connection gives its place back.
    idle.pop_back();
    QTRY_COMPARE_WITH_TIMEOUT(exchange(server.port(), 20, getRequest("/myip")).status, 200, 3000);
}

void DirectoryServerTest::accessLogAndStop_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("logged, SIGTERM") << false << false;
    QTest::newRow("logged, SIGINT") << false << true;
    QTest::newRow("quiet, SIGTERM") << true << false;
}

void DirectoryServerTest::accessLogAndStop()
{
    QFETCH(bool, quiet);
    QFETCH(bool, interrupt);
    DirectoryServer server;
    QStringList arguments{"--room", "lobby", "--room", "雑談"};
    if (quiet)
        arguments << "--quiet";
    QVERIFY(server.start(arguments));
    runSteps({&server}, {{5, "/?lobby", 200, "NoUser"}, {5, "/?" + Zatsudan, 200, "NoUser"}});
    QCOMPARE(server.stop(interrupt), 0);

    const auto log = server.accessLog();
    if (quiet) {
        QCOMPARE(log, QByteArray());
        return;
    }
    static const QRegularExpression expected(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 127\.0\.0\.5 GET /\?lobby 200 NoUser\n)"
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 127\.0\.0\.5 GET /\?\\x8EG\\x92k 200 NoUser\n$)");
    QVERIFY2(expected.match(QString::fromLatin1(log)).hasMatch(), log.constData());
}

void DirectoryServerTest::refusesBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no rooms") << QStringList{};
    QTest::newRow("listen without a port") << QStringList{"--open", "--listen", "127.0.0.1"};
    QTest::newRow("expiry of zero") << QStringList{"--open", "--expiry", "0"};
    QTest::newRow("missing rooms file") << QStringList{"--rooms", "/nonexistent/rooms.txt"};
    QTest::newRow("unknown option") << QStringList{"--open", "--colour"};
}

void DirectoryServerTest::refusesBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    const auto program = qEnvironmentVariable("TARNIVEL_DIRECTORY", QCoreApplication::applicationDirPath() + "/tarnivel-directory");
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("see --help"));
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
    const auto program = qEnvironmentVariable("TARNIVEL_DIRECTORY", QCoreApplication::applicationDirPath() + "/tarnivel-directory");
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpression pattern(expected, QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(DirectoryServerTest)
#include "tst_directoryserver.moc"
