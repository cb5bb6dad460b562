// Broken and hostile peers over real loopback sockets. Whatever they do, the copy keeps
// chatting with an honest member, its member list matches its connected sockets, and it
// holds no more file descriptors than before.

#include "mesh/mesh.h"
#include "mesh/statuslines.h"
#include "text/codepage932.h"
#include "testaccess.h"
#include "rawpeer.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QListWidget>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

QByteArray lines(qsizetype bytes)
{
    const QByteArray line("evil> The quick brown fox jumps over the lazy dog.\r\n");
    QByteArray burst;
    burst.reserve(bytes + line.size());
    while (burst.size() < bytes)
        burst += line;
    return burst;
}

// A newcomer that joins through a raw join answerer giving this reply.
void joinThroughAnswerer(TestCopy &newcomer, int answererAt, const QByteArray &reply)
{
    auto answerer = joinAnswerer(answererAt, reply);
    QVERIFY(answerer->listening());
    newcomer.joinThrough(loopbackText(answererAt));
    // Back to idle and listening on both ports once every dial has failed.
    QTRY_VERIFY_WITH_TIMEOUT(
        newcomer.title() == QStringLiteral("たるにべ - 未接続")
            && TestAccess::mesh(newcomer.session()).roster().listening().state() == SocketState::Listening
            && TestAccess::mesh(newcomer.session()).roster().joinListener().state() == SocketState::Listening,
        WaitMs);
}

struct Scene
{
    TestCopy &victim;
    TestCopy &honest;
    TestCopy &newcomer;
};

using Attack = std::function<void(Scene &)>;

} // namespace

Q_DECLARE_METATYPE(Attack)

class TestHostilePeers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void copySurvives_data();
    void copySurvives();

private:
    // Qt opens some descriptors of its own on first use; counted once they are open.
    int m_descriptors = 0;
};

void TestHostilePeers::initTestCase()
{
    {
        TestCopy a(1, QStringLiteral("A"));
        TestCopy b(2, QStringLiteral("B"));
        b.joinThrough(a.address());
        QTRY_VERIFY_WITH_TIMEOUT(a.namedMemberCount() == 1 && b.namedMemberCount() == 1, WaitMs);
    }
    QTest::qWait(100);
    m_descriptors = openDescriptors();
}

void TestHostilePeers::copySurvives_data()
{
    QTest::addColumn<Attack>("attack");

    QTest::newRow("silent on the chat port") << Attack([](Scene &s) {
        auto peer = dial(10, s.victim.address(), ChatPort);
        QVERIFY(peer);
        QTest::qWait(100);
    });
    QTest::newRow("silent on the join port") << Attack([](Scene &s) {
        TestAccess::mesh(s.victim.session()).setSilentJoinTimeoutMs(200);
        auto peer = dial(10, s.victim.address(), JoinPort);
        QVERIFY(peer);
        QVERIFY(peer->waitHungUp());
    });
    QTest::newRow("silent join callers, more than there are places, an honest newcomer behind them")
        << Attack([](Scene &s) {
               // Never hung up on for silence here: only making room for the newcomer frees a place.
               TestAccess::mesh(s.victim.session()).setSilentJoinTimeoutMs(10 * WaitMs);
               std::vector<std::unique_ptr<RawPeer>> silent;
               for (int i = 0; i < ConnectionRoster::JoinCallerSlots + 2; ++i) {
                   silent.push_back(dial(10 + i, s.victim.address(), JoinPort));
                   QVERIFY(silent.back());
               }
               s.newcomer.joinThrough(s.victim.address());
               QTRY_COMPARE_WITH_TIMEOUT(s.newcomer.namedMemberCount(), 2, WaitMs);
               s.newcomer.session().disconnect();
               QTRY_COMPARE_WITH_TIMEOUT(s.victim.connectionCount(), 1, WaitMs);
           });
    QTest::newRow("stalled handshakes, more than are held at once, a keyed newcomer behind them")
        << Attack([](Scene &s) {
               // The three with one invite key, the honest member joined again inside TLS.
               for (TestCopy *copy : {&s.victim, &s.honest, &s.newcomer})
                   QVERIFY(copy->session().inviteKey().set(QByteArray(18, 'k')));
               s.honest.joinThrough(s.victim.address());
               QTRY_COMPARE_WITH_TIMEOUT(s.honest.namedMemberCount(), 1, WaitMs);
               TestAccess::socketContext(s.victim.session()).setHandshakeTimeoutMs(2 * WaitMs);
               std::vector<std::unique_ptr<RawPeer>> stalled;
               for (int i = 0; i < 20; ++i) {
                   stalled.push_back(dial(10 + i, s.victim.address(), ChatPort));
                   QVERIFY(stalled.back());
                   stalled.back()->send("\x16\x03\x01");
               }
               // The longest waiting make room; the newcomer's handshakes get through.
               s.newcomer.joinThrough(s.victim.address());
               QTRY_COMPARE_WITH_TIMEOUT(s.newcomer.namedMemberCount(), 2, WaitMs);
               QVERIFY(stalled.front()->waitHungUp());
               s.newcomer.session().disconnect();
               QTRY_COMPARE_WITH_TIMEOUT(s.victim.connectionCount(), 1, WaitMs);
           });
    QTest::newRow("10 MB in one burst") << Attack([](Scene &s) {
        auto peer = greet(10, s.victim, "evil");
        QVERIFY(peer);
        const QByteArray burst = lines(10 << 20);
        // All of it arrives (the log keeps its newest part), and the member stays.
        QObject counter;
        qsizetype arrived = 0;
        QObject::connect(&TestAccess::mesh(s.victim.session()), &Mesh::lineArrived, &counter,
                         [&arrived](const QString &text) { arrived += text.size(); });
        peer->send(burst);
        QTRY_COMPARE_WITH_TIMEOUT(arrived, burst.size(), 60000);
        QVERIFY(peer->connected());
        QVERIFY(s.victim.logText().endsWith(QStringLiteral("lazy dog.\n")));
    });
    QTest::newRow("40 MB without greeting") << Attack([](Scene &s) {
        auto peer = dial(10, s.victim.address(), ChatPort);
        QVERIFY(peer);
        peer->send(lines(40 << 20));
        // None of it is shown; the connection is closed, and one line names its address.
        QVERIFY(peer->waitHungUp());
        const QString log = s.victim.logText();
        QVERIFY(!log.contains(QStringLiteral("evil>")));
        QCOMPARE(log.count(statusline::ungreetedClosed(loopbackText(10)).trimmed()), 1);
    });
    QTest::newRow("one byte past 4 KiB without greeting") << Attack([](Scene &s) {
        auto peer = dial(10, s.victim.address(), ChatPort);
        QVERIFY(peer);
        QTRY_COMPARE_WITH_TIMEOUT(s.victim.connectionCount(), 2, WaitMs);
        s.victim.togglePeerColumn(); // lists the stranger too, nameless
        peer->send(QByteArray(4 * 1024 + 1, 'x'));
        QVERIFY(peer->waitHungUp());
        QCOMPARE(s.victim.members(), QStringList{QStringLiteral("正直")});
        s.victim.togglePeerColumn();
    });
    QTest::newRow("a member past its budget") << Attack([](Scene &s) {
        TestAccess::mesh(s.victim.session()).setArrivalLimits({4096, 256 * 1024, 64 * 1024});
        auto peer = greet(10, s.victim, "fast");
        QVERIFY(peer);
        s.victim.togglePeerColumn();
        peer->send(lines(4 << 20));
        // Cut off like a member whose connection ended; a line it had begun comes before.
        QVERIFY(peer->waitHungUp());
        QTRY_VERIFY(s.victim.logText().endsWith(QStringLiteral(" ●fast との接続が断たれました。\n\n")));
        QCOMPARE(s.victim.members(), QStringList{QStringLiteral("正直")});
        s.victim.togglePeerColumn();
    });
    QTest::newRow("markup and line breaks in a name and a line") << Attack([](Scene &s) {
        WindowCopy window(4, QStringLiteral("窓"));
        const QString name = QStringLiteral("<h1>evil</h1>\r\n ●正直 との接続が断たれました。\r\n");
        const QString shown = QStringLiteral("<h1>evil</h1>␍␊ ●正直 との接続が断たれました。…");
        const QString line = QStringLiteral("<b>太字?</b> x");
        std::vector<std::unique_ptr<RawPeer>> peers;
        for (CopyBase *copy : std::initializer_list<CopyBase *>{&s.victim, &window}) {
            peers.push_back(greet(10, *copy, cp932::encode(name)));
            QVERIFY(peers.back());
            peers.back()->send(cp932::encode(line + QStringLiteral("\r\n")));
            QTRY_VERIFY(copy->logText().contains(line));
            // The name stays on the connected line: nothing in it starts a line of its own.
            const QStringList logLines = copy->logText().split(u'\n');
            QVERIFY(logLines.contains(QStringLiteral(" ●") + shown + QStringLiteral(" と接続されました。")));
            QVERIFY(!logLines.contains(QStringLiteral(" ●正直 との接続が断たれました。")));
        }
        s.victim.togglePeerColumn();
        QVERIFY(s.victim.members().contains(shown));
        s.victim.togglePeerColumn();
        // In the window: the member lists show the name as text, the log the line as text.
        window.window().togglePeerColumn();
        QVERIFY(window.members().contains(shown));
        QVERIFY(control<QListWidget>(window.window(), "lbListChk")->findItems(shown, Qt::MatchExactly).size() == 1);
        const QTextCursor found = window.session().logDocument().find(line);
        QCOMPARE(found.block().text(), line);
        QCOMPARE(found.charFormat().fontWeight(), int(QFont::Normal));
    });
    QTest::newRow("reset in the middle of its Hello") << Attack([](Scene &s) {
        auto peer = dial(10, s.victim.address(), ChatPort);
        QVERIFY(peer);
        peer->send("\x02\x82");
        QTest::qWait(50);
        peer->reset();
        QTest::qWait(100);
    });
    QTest::newRow("a Hello with a 1 MB name") << Attack([](Scene &s) {
        QByteArray name(1 << 20, 'N');
        auto peer = dial(10, s.victim.address(), ChatPort);
        QVERIFY(peer);
        peer->send('\x02' + name);
        QVERIFY(peer->waitReceived(1));
        s.victim.togglePeerColumn();
        // Shown shortened; the name itself is kept whole.
        QVERIFY(s.victim.members().contains(QString(32, u'N') + QChar(0x2026)));
        QTRY_VERIFY(s.victim.logText().contains(QStringLiteral(" ●%1… と接続されました。").arg(QString(32, u'N'))));
        s.victim.togglePeerColumn();
    });
    QTest::newRow("1000 join openings and closings") << Attack([](Scene &s) {
        for (int i = 0; i < 1000; ++i) {
            QTcpSocket raw;
            raw.bind(loopback(10), 0);
            raw.connectToHost(s.victim.address(), JoinPort);
            // Refused while the copy talks to the caller before: a closing all the same.
            (void)QTest::qWaitFor(
                [&raw] {
                    return raw.state() == QAbstractSocket::ConnectedState
                        || raw.state() == QAbstractSocket::UnconnectedState;
                },
                2000);
            raw.abort();
        }
        QTest::qWait(100);
        QCOMPARE(askPeerList(11, s.victim).left(1), QByteArray("\x03"));
    });
    QTest::newRow("a PeerList of 100 fields") << Attack([](Scene &s) {
        QByteArray reply("\x03");
        for (int i = 0; i < 100; ++i)
            reply += loopbackText(60 + i % 40).toLatin1() + '\x03';
        joinThroughAnswerer(s.newcomer, 20, reply);
    });
    QTest::newRow("a PeerList of addresses where nothing listens") << Attack([](Scene &s) {
        joinThroughAnswerer(s.newcomer, 20,
                            "\x03\x03" + loopbackText(61).toLatin1() + '\x03' + loopbackText(62).toLatin1() + '\x03');
    });
    QTest::newRow("a member that reads nothing while 10 MB go out") << Attack([](Scene &s) {
        // A plain socket with a small receive window that greets and then never reads.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in from{AF_INET, 0, {htonl(loopback(10).toIPv4Address())}, {}};
        sockaddr_in to{AF_INET, htons(ChatPort), {htonl(loopback(1).toIPv4Address())}, {}};
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0);
        QVERIFY(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0);
        QVERIFY(::send(fd, "\x02stuck", 6, 0) == 6);
        QTRY_COMPARE_WITH_TIMEOUT(s.victim.namedMemberCount(), 2, WaitMs);

        // 40 lines of 256 K characters; each goes out once the honest member has the last.
        const QString big = QStringLiteral("x> ") + QString(256 * 1024, u'y') + QStringLiteral("\r\n");
        const QString bigLine = big.chopped(2);
        constexpr int BigLines = 40;
        // Every one of them whole in the honest member's log, which must hold them all.
        s.honest.session().log().setLimits({1 << 30, 1 << 30});
        // Counted as they arrive: splitting megabytes of log text at every poll is too slow
        // under the sanitizers.
        QObject counter;
        int honestLineEnds = 0;
        QObject::connect(&TestAccess::mesh(s.honest.session()), &Mesh::lineArrived, &counter,
                         [&honestLineEnds](const QString &text) { honestLineEnds += int(text.count(u'\n')); });
        for (int i = 1; i <= BigLines; ++i) {
            TestAccess::mesh(s.victim.session()).sendToAll(big, {});
            QTRY_COMPARE_WITH_TIMEOUT(honestLineEnds, i, WaitMs);
        }
        QCOMPARE(s.honest.logText().split(u'\n').count(bigLine), BigLines);
        // Past the limit of unsent data the member that never reads was cut off, as a failed
        // connection; the honest member got every line, and still chats.
        QVERIFY(s.victim.logText().contains(QStringLiteral("stuck との接続が断たれました。")));
        const QString last = QStringLiteral("最後の行");
        s.victim.say(last);
        QTRY_VERIFY_WITH_TIMEOUT(s.honest.logText().contains(last), WaitMs);
        ::close(fd);
    });
}

void TestHostilePeers::copySurvives()
{
    QFETCH(Attack, attack);
    {
        TestCopy victim(1, QStringLiteral("被害者"));
        TestCopy honest(2, QStringLiteral("正直"));
        TestCopy newcomer(3, QStringLiteral("新入り"));
        honest.joinThrough(victim.address());
        QTRY_VERIFY_WITH_TIMEOUT(victim.namedMemberCount() == 1 && honest.namedMemberCount() == 1, WaitMs);

        Scene scene{victim, honest, newcomer};
        attack(scene);
        if (QTest::currentTestFailed())
            return;

        // The hostile peers are gone; what is left is the honest chat, and it works.
        QTRY_COMPARE_WITH_TIMEOUT(victim.connectionCount(), 1, WaitMs);
        QCOMPARE(victim.namedMemberCount(), 1);
        victim.togglePeerColumn();
        QCOMPARE(victim.members(), QStringList{QStringLiteral("正直")});
        victim.say(QStringLiteral("まだ大丈夫"));
        QTRY_VERIFY_WITH_TIMEOUT(honest.logText().contains(QStringLiteral("被害者> まだ大丈夫")), WaitMs);
        honest.say(QStringLiteral("よかった"));
        QTRY_VERIFY_WITH_TIMEOUT(victim.logText().contains(QStringLiteral("正直> よかった")), WaitMs);
        // The newcomer, whatever happened to it, can still join the real chat.
        newcomer.joinThrough(victim.address());
        QTRY_VERIFY_WITH_TIMEOUT(newcomer.namedMemberCount() == 2, WaitMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(), m_descriptors, WaitMs);
}

QTEST_MAIN(TestHostilePeers)
#include "tst_hostilepeers.moc"
