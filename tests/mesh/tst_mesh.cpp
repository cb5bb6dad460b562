// Whole copies chatting over real loopback sockets, each with its own bind address.

#include "testaccess.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
constexpr int JoinWaitMs = 10000;

// Connected and greeted both ways: every connection carries its member's name.
bool waitAllConnected(const std::vector<std::unique_ptr<TestCopy>> &copies, int each)
{
    return QTest::qWaitFor(
        [&] {
            for (const auto &c : copies) {
                if (c->connectionCount() != each || c->namedMemberCount() != each)
                    return false;
            }
            return true;
        },
        JoinWaitMs);
}
// Copies 1..count named prefix + n, each joining through the first.
std::vector<std::unique_ptr<TestCopy>> formChat(int count, const QString &prefix)
{
    std::vector<std::unique_ptr<TestCopy>> copies;
    for (int n = 1; n <= count; ++n) {
        copies.push_back(std::make_unique<TestCopy>(n, prefix + QString::number(n)));
        if (n == 1)
            continue;
        copies.back()->joinThrough(copies[0]->address());
        if (!QTest::qWaitFor([&] { return copies.back()->connectionCount() == n - 1; }, JoinWaitMs))
            break;
    }
    return copies;
}

} // namespace

class TestMesh : public QObject
{
    Q_OBJECT
private slots:
    void twoCopiesGreetChatAndPart();
    void quittingCutsTheOthers();
    void elevenCopiesFormAFullMeshAndATwelfthIsRefused();
    void publicLinesReachEveryMemberOnce();
    void privateLinesReachOnlyTheTickedMembers();
    void privateWithNobodyTickedWritesNothing();
    void theToLineNamesOnlyMembersReached();
    void aMemberThatCannotBeReachedDoesNotSinkTheJoin();
    void sendingIsRefusedWhenNotInAChat();
    void aPortHeldByAnotherProgramIsSaidOnce();
};

void TestMesh::twoCopiesGreetChatAndPart()
{
    TestCopy a(1, QStringLiteral("あきら"));
    TestCopy b(2, QStringLiteral("Bob"));
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 未接続"));
    QVERIFY(a.views().connectEnabled);
    QVERIFY(!a.views().disconnectEnabled);

    b.joinThrough(a.address());
    QVERIFY(b.logText().contains(QStringLiteral(" ●%1 に接続中...").arg(a.address())));
    QVERIFY(!b.views().connectEnabled);
    QVERIFY(b.views().disconnectEnabled);

    QTRY_COMPARE_WITH_TIMEOUT(a.title(), QStringLiteral("たるにべ - 1人接続済"), JoinWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), QStringLiteral("たるにべ - 1人接続済"), JoinWaitMs);
    QTRY_VERIFY(b.logText().contains(QStringLiteral(" ●あきら と接続されました。")));
    QTRY_VERIFY(a.logText().contains(QStringLiteral(" ●Bob と接続されました。")));
    QVERIFY(a.logText().contains(QStringLiteral(" ●接続要求がきました。%1").arg(b.address())));
    QVERIFY(a.session().mesh().inChat());
    QVERIFY(b.session().mesh().inChat());

    // Both ways, Japanese included.
    b.say(QStringLiteral("こんにちは ①～"));
    QTRY_VERIFY(a.logText().contains(QStringLiteral("Bob> こんにちは ①～")));
    QVERIFY(b.logText().contains(QStringLiteral("Bob> こんにちは ①～")));
    QVERIFY(b.views().input.isEmpty());
    a.say(QStringLiteral("やあ"));
    QTRY_VERIFY(b.logText().contains(QStringLiteral("あきら> やあ")));

    // In a chat, a join asked for elsewhere (the nearby list) dials nothing.
    b.session().joinAddress(loopbackText(9));
    QVERIFY(!b.logText().contains(QStringLiteral(" ●%1 に接続中...").arg(loopbackText(9))));
    QCOMPARE(b.title(), QStringLiteral("たるにべ - 1人接続済"));

    b.session().disconnect();
    QVERIFY(b.logText().contains(QStringLiteral(" ●切断しました。")));
    QCOMPARE(b.title(), QStringLiteral("たるにべ - 未接続"));
    QTRY_VERIFY(a.logText().contains(QStringLiteral(" ●Bob との接続が断たれました。")));
    QTRY_COMPARE(a.title(), QStringLiteral("たるにべ - 未接続"));
    QVERIFY(a.views().connectEnabled);
    QVERIFY(!a.views().disconnectEnabled);

    // Back to idle, both copies accept a new join at once.
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(b.connectionCount(), 1, JoinWaitMs);
}

void TestMesh::quittingCutsTheOthers()
{
    TestCopy a(1, QStringLiteral("A"));
    auto c = std::make_unique<TestCopy>(3, QStringLiteral("C"));
    c->joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.connectionCount(), 1, JoinWaitMs);
    QTRY_COMPARE(c->connectionCount(), 1);
    c->close(); // the close box: unload, sockets cut, settings saved
    QTRY_VERIFY(a.logText().contains(QStringLiteral(" ●C との接続が断たれました。")));
    QTRY_COMPARE(a.title(), QStringLiteral("たるにべ - 未接続"));
}

void TestMesh::elevenCopiesFormAFullMeshAndATwelfthIsRefused()
{
    std::vector<std::unique_ptr<TestCopy>> copies;
    for (int n = 1; n <= 11; ++n) {
        copies.push_back(std::make_unique<TestCopy>(n, QStringLiteral("人%1").arg(n)));
        if (n == 1)
            continue;
        // Each newcomer asks a different member.
        TestCopy &through = *copies[(n * 7) % (n - 1)];
        copies.back()->joinThrough(through.address());
        QVERIFY2(QTest::qWaitFor([&] { return copies.back()->connectionCount() == n - 1; }, JoinWaitMs),
                 qPrintable(QStringLiteral("copy %1 reached %2").arg(n).arg(copies.back()->connectionCount())));
    }
    QVERIFY(waitAllConnected(copies, 10));
    for (auto &c : copies) {
        QCOMPARE(c->title(), QStringLiteral("たるにべ - 10人接続済"));
        c->togglePeerColumn();
        QCOMPARE(c->members().size(), 10);
        QVERIFY(!c->members().contains(c->name()));
    }

    TestCopy twelfth(12, QStringLiteral("十二"));
    twelfth.joinThrough(copies[4]->address());
    QTRY_VERIFY_WITH_TIMEOUT(twelfth.logText().contains(QStringLiteral(" ●満員なのでチャットに参加できません。")),
                             JoinWaitMs);
    QCOMPARE(twelfth.title(), QStringLiteral("たるにべ - 未接続"));
    QVERIFY(!copies[4]->logText().contains(QStringLiteral(" ●接続要求がきました。%1").arg(twelfth.address())));
    QCOMPARE(copies[4]->connectionCount(), 10);
}

void TestMesh::publicLinesReachEveryMemberOnce()
{
    std::vector<std::unique_ptr<TestCopy>> copies = formChat(4, QStringLiteral("P"));
    QVERIFY(waitAllConnected(copies, 3));
    copies[1]->say(QStringLiteral("みんなへ"));
    const QString line = QStringLiteral("P2> みんなへ");
    for (auto &c : copies)
        QTRY_COMPARE(c->logText().count(line), 1);
    QTest::qWait(200); // nothing arrives twice later
    for (auto &c : copies)
        QCOMPARE(c->logText().count(line), 1);
}

void TestMesh::privateLinesReachOnlyTheTickedMembers()
{
    std::vector<std::unique_ptr<TestCopy>> copies = formChat(4, QStringLiteral("Q"));
    QVERIFY(waitAllConnected(copies, 3));

    TestCopy &sender = *copies[0];
    sender.togglePeerColumn();
    const QStringList rows = sender.members();
    QCOMPARE(rows.size(), 3);
    sender.views().setSendToChosen(true);
    sender.views().ticked.insert(0);
    sender.views().ticked.insert(2);
    sender.say(QStringLiteral("ないしょ"));

    const QString line = QStringLiteral("Q1（秘）: ないしょ");
    const QString to = QStringLiteral("To : %1 : %2").arg(rows[0], rows[2]);
    // The own line shows once it has gone out to both.
    QTRY_VERIFY(sender.logText().contains(to + QLatin1Char('\n') + line));
    for (auto &c : copies) {
        if (c.get() == &sender)
            continue;
        const bool ticked = c->name() == rows[0] || c->name() == rows[2];
        if (ticked)
            QTRY_COMPARE(c->logText().count(line), 1);
    }
    QTest::qWait(200);
    for (auto &c : copies) {
        const bool ticked = c->name() == rows[0] || c->name() == rows[2];
        QCOMPARE(c->logText().count(line), (ticked || c.get() == &sender) ? 1 : 0);
        QVERIFY(!c->logText().contains(QChar(0x01)));
    }

    // With the column hidden again, the same choice sends to everyone in the public form.
    sender.togglePeerColumn();
    sender.say(QStringLiteral("全員"));
    for (auto &c : copies)
        QTRY_COMPARE(c->logText().count(QStringLiteral("Q1> 全員")), 1);
}

void TestMesh::privateWithNobodyTickedWritesNothing()
{
    TestCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, JoinWaitMs);
    QTRY_COMPARE(b.namedMemberCount(), 1);
    a.togglePeerColumn();
    a.views().setSendToChosen(true);
    a.say(QStringLiteral("誰にも"));
    QVERIFY(a.views().input.isEmpty());
    QVERIFY(a.logText().contains(QStringLiteral("A（秘）: 誰にも")));
    QVERIFY(!a.logText().contains(QStringLiteral("To")));
    QTest::qWait(200);
    QVERIFY(!b.logText().contains(QStringLiteral("誰にも")));
}

void TestMesh::theToLineNamesOnlyMembersReached()
{
    std::vector<std::unique_ptr<TestCopy>> copies = formChat(3, QStringLiteral("R"));
    QVERIFY(waitAllConnected(copies, 2));
    TestCopy &sender = *copies[0];
    sender.togglePeerColumn();
    sender.views().setSendToChosen(true);
    sender.views().ticked = {0, 1};
    // The first ticked member's connection is gone before the line is written.
    const Member gone = sender.views().rows.at(0);
    const Member staying = sender.views().rows.at(1);
    TestAccess::mesh(sender.session()).roster().socket(gone.id)->close();
    sender.say(QStringLiteral("残った人へ"));
    QVERIFY(sender.logText().contains(QStringLiteral("To : %1\n").arg(staying.name)));
    QVERIFY(!sender.logText().contains(gone.name + QStringLiteral("\nR1（秘）")));
}

void TestMesh::aMemberThatCannotBeReachedDoesNotSinkTheJoin()
{
    // The copy asked lists itself (empty first field) and one member. The copy asked takes no
    // chat connection (refused at once) while the member is slow to answer (its listener's
    // queue is full, so the handshake waits): the refusal must not give up the dial still
    // under way.
    QTcpServer slowMember;
    slowMember.setListenBacklogSize(0);
    QVERIFY(slowMember.listen(loopback(21), 3220));
    slowMember.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(loopback(21), 3220);
    QVERIFY(filler.waitForConnected(2000));

    QTcpServer asked;
    QVERIFY(asked.listen(loopback(20), 4330));
    connect(&asked, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *s = asked.nextPendingConnection();
        connect(s, &QTcpSocket::readyRead, s, [s] {
            s->readAll();
            s->write(QByteArray("\x03\x03") + loopbackText(21).toLatin1() + "\x03");
            s->disconnectFromHost();
        });
    });
    TestCopy newcomer(2, QStringLiteral("N"));
    newcomer.joinThrough(loopbackText(20));
    QTRY_VERIFY_WITH_TIMEOUT(newcomer.logText().contains(QStringLiteral(" ●エラー : %1").arg(loopbackText(20))),
                             JoinWaitMs);
    Socket &dial = TestAccess::mesh(newcomer.session()).roster().dialled(1);
    if (dial.state() == SocketState::Connected)
        QSKIP("the kernel completed the handshake anyway");
    QCOMPARE(dial.state(), SocketState::Connecting);
    QCOMPARE(dial.remoteHost(), loopbackText(21));
    // Still joining: the user can give up, and the copy takes no chat connections meanwhile
    // only until the list is handled.
    QVERIFY(newcomer.views().disconnectEnabled);
    QVERIFY(!newcomer.views().connectEnabled);
    QCOMPARE(TestAccess::mesh(newcomer.session()).roster().listening().state(), SocketState::Listening);
}

void TestMesh::sendingIsRefusedWhenNotInAChat()
{
    TestCopy a(1, QStringLiteral("A"));
    a.views().input = QStringLiteral("まだ");
    a.session().composer().enterPressed();
    QCOMPARE(a.views().input, QStringLiteral("まだ"));
    QVERIFY(!a.logText().contains(QStringLiteral("まだ")));
    a.session().composer().sendClicked();
    QCOMPARE(a.views().input, QStringLiteral("まだ"));
}

void TestMesh::aPortHeldByAnotherProgramIsSaidOnce()
{
    for (const quint16 port : {quint16(3220), quint16(4330)}) {
        const int n = port == 3220 ? 30 : 31;
        QTcpServer other;
        QVERIFY(other.listen(loopback(n), port));
        TestCopy a(n, QStringLiteral("A"));
        const QString line = QStringLiteral(" ●ポート%1を開けません。").arg(port);
        QCOMPARE(a.logText().count(line), 1);
        // Every return to idle listens again; the port is still taken, so nothing more is said.
        QSignalSpy joinPortOpened(&TestAccess::mesh(a.session()), &Mesh::joinPortOpened);
        a.session().disconnect();
        a.session().disconnect();
        QCOMPARE(a.logText().count(line), 1);
        QCOMPARE(joinPortOpened.count(), port == 4330 ? 0 : 2);
        // The other port is not affected.
        ConnectionRoster &r = TestAccess::mesh(a.session()).roster();
        Socket &untouched = port == 3220 ? r.joinListener() : r.listening();
        QCOMPARE(untouched.state(), SocketState::Listening);

        // Once the port is free, the next return to idle has it again, and says so once
        // (the router's mapping is asked for again).
        QSignalSpy opened(&TestAccess::mesh(a.session()), &Mesh::portsOpened);
        other.close();
        a.session().disconnect();
        a.session().disconnect();
        QCOMPARE((port == 3220 ? r.listening() : r.joinListener()).state(), SocketState::Listening);
        QCOMPARE(opened.count(), 1);
    }
}

QTEST_MAIN(TestMesh)
#include "tst_mesh.moc"
