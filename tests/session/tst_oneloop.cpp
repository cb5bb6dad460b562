// Nothing waits inside a handler: a slow directory or address server holds up nothing else,
// lines go out in the order they were sent, and chat text split by TCP arrives whole.

#include "testaccess.h"
#include "directory/entryfile.h"
#include "mesh/wire.h"
#include "rawpeer.h"
#include "scriptedhttpserver.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QTextBlock>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

Q_DECLARE_METATYPE(tarnivel::test::ScriptedHttpServer::Answer)

class TestOneLoop : public QObject
{
    Q_OBJECT
private slots:
    void newcomerDuringASlowRenewal();
    void lineSentDuringAWriteComesAfterIt();
    void slowAddressServer_data();
    void slowAddressServer();
    void splitChatText_data();
    void splitChatText();
};

// The member's leaving makes the waiting copy renew at once; the server takes its time, and
// a newcomer arrives meanwhile.
void TestOneLoop::newcomerDuringASlowRenewal()
{
    ScriptedHttpServer scripted;
    scripted.script << ScriptedHttpServer::reply("NoUser") << ScriptedHttpServer::reply("NoUser", 200, 1500);
    TestCopy a(1, QStringLiteral("A"));
    QVERIFY(writeEntryFile(entryFilePath(a.session().room().entryFolder(), QStringLiteral("ent")),
                           {scripted.url(), QStringLiteral("lobby")}));
    a.session().setQuickServer(QStringLiteral("ent"));
    a.session().quickCommand();
    QTRY_VERIFY(a.session().room().waiting());

    auto b = std::make_unique<TestCopy>(2, QStringLiteral("B"));
    b->joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, WaitMs);
    b.reset();
    QTRY_COMPARE_WITH_TIMEOUT(scripted.requestLines.size(), 2, WaitMs);
    QVERIFY(a.session().room().busy());

    TestCopy c(3, QStringLiteral("C"));
    c.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(c.namedMemberCount(), 1, WaitMs);
    // The wait keeps its title while the renewal is out.
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済 [entで待機]"));
    QVERIFY(a.session().room().busy());

    QTRY_VERIFY_WITH_TIMEOUT(!a.session().room().busy(), WaitMs);
    QCOMPARE(a.connectionCount(), 1);
    QCOMPARE(c.connectionCount(), 1);
    QVERIFY(!c.logText().contains(QStringLiteral("との接続が断たれました")));
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済 [entで待機]"));
}

void TestOneLoop::lineSentDuringAWriteComesAfterIt()
{
    TestCopy a(1, QStringLiteral("A"));
    std::vector<std::unique_ptr<RawPeer>> members;
    for (int n = 0; n < 10; ++n) {
        members.push_back(greet(10 + n, a, "m" + QByteArray::number(n)));
        QVERIFY(members.back());
    }
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 10, WaitMs);

    // The second line is typed while the first is still going out: between two of its writes.
    a.say(QStringLiteral("first"));
    bool typedMidway = false;
    QMetaObject::invokeMethod(
        this,
        [&] {
            typedMidway = TestAccess::mesh(a.session()).sending();
            a.say(QStringLiteral("second"));
        },
        Qt::QueuedConnection);
    const QByteArray first = "A> first\r\n";
    const QByteArray second = "A> second\r\n";
    for (auto &member : members) {
        QVERIFY(QTest::qWaitFor([&] { return member->received.contains(second); }, WaitMs));
        QCOMPARE(member->received.mid(member->received.indexOf("A> ")), first + second);
    }
    QVERIFY(typedMidway);
    QVERIFY(a.logText().endsWith(QStringLiteral("A> first\nA> second\n")));
}

namespace {
// What happens while a join answer waits for the own address.
enum class Meanwhile { Nothing, LastMemberLeaves, SecondNewcomerAsks, UserJoinsElsewhere };
} // namespace

void TestOneLoop::slowAddressServer_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<QByteArray>("ownField");
    QTest::addColumn<int>("meanwhile");
    const auto late = ScriptedHttpServer::reply("203.0.113.7", 200, 800);
    QTest::newRow("answers late") << late << QByteArray("203.0.113.7") << int(Meanwhile::Nothing);
    QTest::newRow("never answers") << ScriptedHttpServer::silence() << QByteArray() << int(Meanwhile::Nothing);
    QTest::newRow("answers late, nobody left by then")
        << late << QByteArray("203.0.113.7") << int(Meanwhile::LastMemberLeaves);
    QTest::newRow("answers late, a second newcomer asks meanwhile")
        << late << QByteArray("203.0.113.7") << int(Meanwhile::SecondNewcomerAsks);
    QTest::newRow("answers late, the user joins another chat meanwhile")
        << late << QByteArray("203.0.113.7") << int(Meanwhile::UserJoinsElsewhere);
}

// The join answer waits for the own address; the chat does not, and neither do other callers.
void TestOneLoop::slowAddressServer()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(QByteArray, ownField);
    QFETCH(int, meanwhile);
    ScriptedHttpServer addressServer(loopback(2));
    addressServer.otherwise = answer;
    TestCopy a(1, QStringLiteral("A"));
    a.session().ownAddress().setAddressServer(addressServer.url(QStringLiteral("/ip")));
    a.session().ownAddress().setServerTimeoutMs(1500);
    auto member = greet(3, a, "M");
    QVERIFY(member);

    auto newcomer = dial(4, a.address(), JoinPort);
    QVERIFY(newcomer);
    newcomer->send("\x02");
    QTRY_COMPARE_WITH_TIMEOUT(addressServer.requestLines.size(), 1, WaitMs);
    // Asked from the copy's own address, so the server reports the address the copy uses.
    QCOMPARE(addressServer.callers, QStringList{a.address()});

    member->send("M> hello\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(a.logText().contains(QStringLiteral("M> hello")), WaitMs);
    a.say(QStringLiteral("typed"));
    QVERIFY(QTest::qWaitFor([&] { return member->received.endsWith("A> typed\r\n"); }, WaitMs));
    QVERIFY(newcomer->received.isEmpty()); // all that while the newcomer's answer was awaited

    QByteArray expected = "\x03" + ownField + "\x03" + loopbackText(3).toLatin1() + "\x03";
    std::unique_ptr<RawPeer> second;
    bool secondAnsweredAfterFirst = false;
    std::unique_ptr<StalledPort> elsewhere;
    switch (Meanwhile(meanwhile)) {
    case Meanwhile::Nothing:
        break;
    case Meanwhile::LastMemberLeaves:
        member.reset();
        QTRY_COMPARE_WITH_TIMEOUT(a.title(), QStringLiteral("たるにべ - 未接続"), WaitMs);
        expected = "\x03" + ownField + "\x03";
        break;
    case Meanwhile::SecondNewcomerAsks:
        second = dial(5, a.address(), JoinPort);
        QVERIFY(second);
        second->onArrival = [&](RawPeer &) {
            secondAnsweredAfterFirst = newcomer->hungUp;
        };
        second->send("\x02");
        // What it sends after asking, while it waits its turn, changes nothing.
        QTRY_COMPARE_WITH_TIMEOUT(TestAccess::mesh(a.session()).waitingJoinCallers(), 2, WaitMs);
        second->send("more");
        break;
    case Meanwhile::UserJoinsElsewhere:
        // Disconnecting resets the copy: the newcomer is hung up on. Joining closes the join
        // port until the join connection stands, whenever the address server answers.
        elsewhere = std::make_unique<StalledPort>(6, JoinPort);
        QVERIFY(elsewhere->stalled());
        a.session().disconnect();
        a.session().joinAddress(loopbackText(6));
        expected.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!a.session().ownAddress().looking(), WaitMs);
        QCOMPARE(a.title(), QStringLiteral("たるにべ - 接続中"));
        QVERIFY(!TestAccess::mesh(a.session()).joinPortListening());
        break;
    }
    QVERIFY(newcomer->waitHungUp());
    QCOMPARE(newcomer->received, expected);
    if (second) {
        QVERIFY(second->waitHungUp());
        QCOMPARE(second->received, expected);
        QVERIFY(secondAnsweredAfterFirst);
    }
}

void TestOneLoop::splitChatText_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("shown"); // the log after the member's greeting, lines ended by LF

    const QByteArray line = wire::encode(QStringLiteral("M> あいう\r\n"));
    const qsizetype insideCharacter = line.indexOf(wire::encode(QStringLiteral("い"))) + 1;
    QTest::newRow("a character split across two reads")
        << QList<QByteArray>{line.left(insideCharacter), line.mid(insideCharacter)} << "M> あいう\n";
    QTest::newRow("a line split before its line end")
        << QList<QByteArray>{"M> one\r\nM> tw", "o\r\n"} << "M> one\nM> two\n";
    const QByteArray privateLine = wire::encode(QStringLiteral("\x01M（秘）: ないしょ\r\n"));
    QTest::newRow("a private line split after its mark")
        << QList<QByteArray>{privateLine.left(4), privateLine.mid(4)} << "M（秘）: ないしょ\n";
    QTest::newRow("text that never ends its line is shown as it is")
        << QList<QByteArray>{"M> no line end"} << "M> no line end";
    // "<close>" and "<reset>" end the connection: what was held is shown before the cut line.
    const QString cut = QStringLiteral(" ●M との接続が断たれました。\n\n");
    QTest::newRow("a partial line, then a close") << QList<QByteArray>{"M> half", "<close>"} << "M> half" + cut;
    QTest::newRow("a partial line, then a reset") << QList<QByteArray>{"M> half", "<reset>"} << "M> half" + cut;
}

void TestOneLoop::splitChatText()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, shown);
    TestCopy a(1, QStringLiteral("A"));
    // Long enough that two pieces sent apart are surely read apart, but waited for only
    // when a line never ends.
    TestAccess::mesh(a.session()).setChatTextHoldMs(pieces.size() > 1 ? 60000 : Mesh::ChatTextHoldMs);
    auto member = greet(3, a, "M");
    QVERIFY(member);
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, WaitMs);
    const qsizetype before = a.logText().size();

    for (const QByteArray &piece : pieces) {
        if (piece == "<close>")
            member->socket().disconnectFromHost();
        else if (piece == "<reset>")
            member->reset();
        else
            member->send(piece);
        QTest::qWait(100); // let the piece be read on its own
    }
    QTRY_COMPARE_WITH_TIMEOUT(a.logText().mid(before), shown, WaitMs);
    // A private line is shown emphasised, which needs its mark and its text in one piece.
    if (shown.contains(QStringLiteral("（秘）")))
        QVERIFY(a.session().logDocument().lastBlock().previous().begin().fragment().charFormat().fontItalic());
}

QTEST_MAIN(TestOneLoop)
#include "tst_oneloop.moc"
