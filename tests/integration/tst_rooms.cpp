// Meeting in directory rooms: copies on their own loopback addresses against the real
// tarnivel-directory, and against a scripted server for the replies a real one never sends.

#include "directory/entryfile.h"
#include "model/invitekey.h"
#include "rawhttp.h"
#include "rawpeer.h"
#include "scriptedhttpserver.h"
#include "serverprocesses.h"
#include "testcopy.h"
#include "tcprelay.h"
#include "testsupport.h"
#include "ui/mainwindow.h"
#include "ui/serverlistdialog.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
constexpr int JoinWaitMs = 10000;
using Answer = ScriptedHttpServer::Answer;

// The log as the document holds it: each CR LF is a line break.
QString plain(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void writeEntry(CopyBase &copy, const QString &name, const QString &url, const QString &room)
{
    QVERIFY(writeEntryFile(entryFilePath(copy.session().room().entryFolder(), name), {url, room}));
}

// F3 with this quick entry; nothing waits for the server.
void startQuick(CopyBase &copy, const QString &entry)
{
    copy.session().setQuickServer(entry);
    copy.session().quickCommand();
}

// Once the server has answered every request out.
bool answered(CopyBase &copy)
{
    return QTest::qWaitFor([&copy] { return !copy.session().room().busy(); }, 15000);
}

// F3 with this quick entry; returns once the server has answered.
void enterQuick(CopyBase &copy, const QString &entry)
{
    startQuick(copy, entry);
    QVERIFY(answered(copy));
}

QString realServerUrl(const DirectoryServer &server)
{
    return QStringLiteral("http://127.0.0.1:%1/tarnivel").arg(server.port());
}

bool startServer(DirectoryServer &server)
{
    if (server.start({"--quiet", "--room", "lobby", "--room", "雑談"}))
        return true;
    qWarning("%s", qPrintable(server.error()));
    return false;
}

const QString Waiting = QStringLiteral(" ●サーバ:\n待機中の人がいません\n ●このままお待ちください\n");
const QString ServerError = QStringLiteral(" ●サーバエラー:\nしばらくしてからつなぎなおしてください\n");
} // namespace

Q_DECLARE_METATYPE(ScriptedHttpServer::Answer)

class TestRooms : public QObject
{
    Q_OBJECT
private slots:
    void twoCopiesMeetInARoom_data();
    void twoCopiesMeetInARoom();
    void replies_data();
    void replies();
    void requestsGoOutAsTyped();
    void renewals_data();
    void renewals();
    void renewalOnEveryThirdTick_data();
    void renewalOnEveryThirdTick();
    void renewalRightAfterAMemberLeaves();
    void withdrawals_data();
    void withdrawals();
    void whileTheServerIsAsked();
    void theRoomOutlivesItsFirstWaiter();
    void startSwitchOpensTheList();
    void lateEntryChoice_data();
    void lateEntryChoice();
};

void TestRooms::twoCopiesMeetInARoom_data()
{
    QTest::addColumn<bool>("keyed");
    QTest::newRow("plain") << false;
    // The room is met as before; the chat it leads to is inside TLS.
    QTest::newRow("with an invite key") << true;
}

void TestRooms::twoCopiesMeetInARoom()
{
    QFETCH(bool, keyed);
    DirectoryServer server;
    QVERIFY(startServer(server));
    WindowCopy a(1, QStringLiteral("あきら"));
    TestCopy b(2, QStringLiteral("Bob"));
    const QByteArray key = newInviteKey();
    QVERIFY(!keyed || (a.session().inviteKey().set(key) && b.session().inviteKey().set(key)));
    writeEntry(a, QStringLiteral("ロビー"), realServerUrl(server), QStringLiteral("雑談"));
    writeEntry(b, QStringLiteral("lobby"), realServerUrl(server), QStringLiteral("雑談"));

    // A chooses the entry in the list (F2) and finds the room empty.
    const qsizetype before = a.logText().size();
    bool chosen = false;
    whenModal<ServerListDialog>([&chosen](ServerListDialog *list) {
        list->entryList()->setCurrentRow(0);
        list->findChild<QPushButton *>(QStringLiteral("cmdConnect"))->click();
        chosen = true;
    });
    findAction(a.window(), QStringLiteral("mnServer"))->trigger();
    QTRY_VERIFY(chosen);
    QVERIFY(answered(a));
    QCOMPARE(a.logText().mid(before), QStringLiteral(" ●サーバ: ロビー に接続します\n") + Waiting);
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 未接続 [ロビーで待機]"));
    QVERIFY(findAction(a.window(), QStringLiteral("mnWaitQuit"))->isVisible());

    // B is given A's address and joins at once.
    enterQuick(b, QStringLiteral("lobby"));
    QVERIFY(b.logText().contains(QStringLiteral(" ●%1 に接続中...").arg(a.address())));
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), QStringLiteral("たるにべ - 1人接続済 [lobbyで待機]"), JoinWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(a.title(), QStringLiteral("たるにべ - 1人接続済 [ロビーで待機]"), JoinWaitMs);
    QVERIFY(b.session().room().waiting());
    // An older copy, sending the code page 932 bytes raw, finds the same room.
    const HttpAnswer raw = exchange(server.port(), 9, getRequest("/tarnivel?" + QByteArray::fromHex("8E47926B")));
    QCOMPARE(raw.body, a.address().toLatin1());
}

void TestRooms::replies_data()
{
    QTest::addColumn<QString>("url"); // "scripted", "down", or none for no entry file
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("quick");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("waits");
    const QString entering = QStringLiteral(" ●サーバ: ent に接続します\n");
    const QString notFound = QStringLiteral(" ●サーバ:\nサーバが見つかりません\n");
    const auto partner = [&](const QString &address) {
        return entering + QStringLiteral(" ●%1 に接続中...\n").arg(address);
    };
    const auto row = [](const char *name, const char *url, const Answer &answer) -> QTestData & {
        return QTest::newRow(name) << QString::fromLatin1(url) << answer << QStringLiteral("ent");
    };
    row("server down", "down", {}) << entering + notFound << false;
    row("empty", "scripted", ScriptedHttpServer::reply("")) << entering + notFound << false;
    row("21 characters", "scripted", ScriptedHttpServer::reply("NotFound0123456789abc"))
        << entering + QStringLiteral(" ●サーバ:\nCGIエラーです\n") << false;
    row("NotFound", "scripted", ScriptedHttpServer::reply("NotFound"))
        << entering + QStringLiteral(" ●サーバ:\nルーム lobby が見つかりません\n") << false;
    row("NoUser", "scripted", ScriptedHttpServer::reply("NoUser")) << entering + Waiting << true;
    row("20 characters", "scripted", ScriptedHttpServer::reply("partner.example.test"))
        << partner("partner.example.test") << true;
    // Still a partner's address; the line that names it stays one line.
    row("NoUser and a line end", "scripted", ScriptedHttpServer::reply("NoUser\r\n")) << partner("NoUser␍␊") << true;
    row("other letter case", "scripted", ScriptedHttpServer::reply("nouser")) << partner("nouser") << true;
    row("chunked NoUser", "scripted",
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nNo\r\n4\r\nUser\r\n0\r\n\r\n"})
        << entering + Waiting << true;
    // A reply under an error status is read like any other; a short one is still never dialled.
    const QString cgiError = entering + QStringLiteral(" ●サーバ:\nCGIエラーです\n");
    row("long error page", "scripted", ScriptedHttpServer::reply("<html>Internal Server Error</html>", 500))
        << cgiError << false;
    row("short error text", "scripted", ScriptedHttpServer::reply("TooManyRooms", 429)) << cgiError << false;
    row("redirect, not followed", "scripted",
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\nContent-Length: 5\r\n\r\nmoved"})
        << cgiError << false;
    row("NoUser under an error status", "scripted", ScriptedHttpServer::reply("NoUser", 503))
        << entering + Waiting << true;
    row("NotFound under 404", "scripted", ScriptedHttpServer::reply("NotFound", 404))
        << entering + QStringLiteral(" ●サーバ:\nルーム lobby が見つかりません\n") << false;
    row("error status, empty body", "scripted", ScriptedHttpServer::reply("", 503)) << entering + notFound << false;
    row("no reply in time", "scripted", ScriptedHttpServer::silence()) << entering + ServerError << false;
    row("cut short", "scripted", {"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nNoU"})
        << entering + ServerError << false;
    row("entry file missing", "", {}) << ServerError << false;
    QTest::newRow("no quick server") << "scripted" << Answer{} << QString()
                                     << QStringLiteral(" ●クイックサーバが登録されていません\n") << false;
}

void TestRooms::replies()
{
    QFETCH(QString, url);
    QFETCH(Answer, answer);
    QFETCH(QString, quick);
    QFETCH(QString, lines);
    QFETCH(bool, waits);
    ScriptedHttpServer scripted;
    scripted.script << answer;
    QTcpServer closed; // a port that nobody listens on any more
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString downUrl = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();

    TestCopy copy(1, QStringLiteral("A"));
    // Only a server that never answers waits for the time-out; every other reply ends with
    // the connection, however slowly it comes on a busy machine.
    if (answer.silent)
        copy.session().room().setRequestTimeoutMs(300);
    if (!url.isEmpty())
        writeEntry(copy, QStringLiteral("ent"), url == u"down" ? downUrl : scripted.url(), QStringLiteral("lobby"));
    const qsizetype before = copy.logText().size();
    enterQuick(copy, quick);
    QCOMPARE(copy.logText().mid(before), lines);
    QCOMPARE(copy.session().room().waiting(), waits);
    QCOMPARE(copy.title().endsWith(QStringLiteral(" [entで待機]")), waits);
    QCOMPARE(scripted.requestLines.size(),
             lines.contains(QStringLiteral("に接続します")) && url == u"scripted" ? 1 : 0);
}

void TestRooms::requestsGoOutAsTyped()
{
    ScriptedHttpServer scripted;
    TestCopy copy(3, QStringLiteral("A"));
    writeEntry(copy, QStringLiteral("p"), scripted.url(QStringLiteral("/cgi-bin/room.cgi")),
               QStringLiteral("a b&c?d+雑%41"));
    writeEntry(copy, QStringLiteral("q"), scripted.url(QString()), QStringLiteral("lobby"));
    enterQuick(copy, QStringLiteral("p"));
    enterQuick(copy, QStringLiteral("q")); // withdraws from the first room first
    QCOMPARE(scripted.requestLines,
             (QList<QByteArray>{"GET /cgi-bin/room.cgi?a%20b&c?d+%8E%47%41 HTTP/1.1",
                                "GET /cgi-bin/room.cgi?a%20b&c?d+%8E%47%41+quit HTTP/1.1", "GET /?lobby HTTP/1.1"}));
    QCOMPARE(scripted.callers, QStringList(3, copy.address()));
}

void TestRooms::renewals_data()
{
    using S = ScriptedHttpServer;
    QTest::addColumn<QList<S::Answer>>("renewalAnswers");
    QTest::addColumn<QString>("ending");
    // The third renewal finds no room: the wait ends, in the renewal's words.
    QTest::newRow("the room is gone") << QList<S::Answer>{S::reply("NoUser"), S::reply("10.0.0.9"),
                                                          S::reply("NotFound")}
                                      << QStringLiteral("\nサーバ:\nルーム lobby が見つかりません\n\n");
    QTest::newRow("the server stops answering")
        << QList<S::Answer>{S::reply("NoUser"), S::silence()}
        << QStringLiteral("\nサーバエラー:\nしばらくしてからつなぎなおしてください\n\n");
}

void TestRooms::renewals()
{
    QFETCH(QList<ScriptedHttpServer::Answer>, renewalAnswers);
    QFETCH(QString, ending);
    ScriptedHttpServer scripted;
    scripted.script << ScriptedHttpServer::reply("NoUser") << renewalAnswers;
    TestCopy copy(1, QStringLiteral("A"));
    copy.session().room().setTickIntervalMs(20);
    copy.session().room().setRequestTimeoutMs(300);
    writeEntry(copy, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    enterQuick(copy, QStringLiteral("ent"));
    QTRY_VERIFY_WITH_TIMEOUT(!copy.session().room().waiting(), 5000);
    QVERIFY2(copy.logText().endsWith(ending), qPrintable(copy.logText()));
    QCOMPARE(scripted.requestLines.size(), 1 + renewalAnswers.size());
    QVERIFY(!copy.logText().contains(QStringLiteral("10.0.0.9"))); // a renewal never connects
    QCOMPARE(copy.title(), QStringLiteral("たるにべ - 未接続"));
}

void TestRooms::renewalOnEveryThirdTick_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("renewals");
    QTest::newRow("1") << 1 << 0;
    QTest::newRow("2") << 2 << 0;
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("5") << 5 << 1;
    QTest::newRow("6") << 6 << 2;
    QTest::newRow("9") << 9 << 3;
}

// Ticks counted one by one (the timer itself is far too slow to come in between).
void TestRooms::renewalOnEveryThirdTick()
{
    QFETCH(int, ticks);
    QFETCH(int, renewals);
    ScriptedHttpServer scripted;
    TestCopy copy(1, QStringLiteral("A"));
    writeEntry(copy, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    enterQuick(copy, QStringLiteral("ent"));
    QVERIFY(copy.session().room().waiting());
    for (int i = 0; i < ticks; ++i) {
        copy.session().room().tick();
        QVERIFY(answered(copy));
    }
    QCOMPARE(scripted.requestLines.size(), 1 + renewals);
    QVERIFY(copy.session().room().waiting());
}

void TestRooms::renewalRightAfterAMemberLeaves()
{
    ScriptedHttpServer scripted;
    scripted.script << ScriptedHttpServer::reply("NoUser") << ScriptedHttpServer::silence();
    TestCopy a(1, QStringLiteral("A"));
    writeEntry(a, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    enterQuick(a, QStringLiteral("ent"));
    auto b = std::make_unique<TestCopy>(2, QStringLiteral("B"));
    b->joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.connectionCount(), 1, JoinWaitMs);
    QCOMPARE(scripted.requestLines.size(), 1);
    b.reset();
    QTRY_COMPARE_WITH_TIMEOUT(scripted.requestLines.size(), 2, 5000);
    QCOMPARE(scripted.requestLines.last(), QByteArray("GET /room.cgi?lobby HTTP/1.1"));
    QVERIFY(a.session().room().waiting());
    // Leaving the room drops the renewal still out: the withdraw does not wait for it.
    a.session().withdrawCommand();
    QTRY_COMPARE_WITH_TIMEOUT(scripted.requestLines.size(), 3, 5000);
    QCOMPARE(scripted.requestLines.last(), QByteArray("GET /room.cgi?lobby+quit HTTP/1.1"));
}

void TestRooms::withdrawals_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("lines");
    const QString withdrawn = QStringLiteral(" ●サーバから切断されました\n");
    QTest::newRow("cancel waiting") << "mnWaitQuit" << withdrawn;
    QTest::newRow("disconnect") << "mnDisconnect" << withdrawn + QStringLiteral("\n ●切断しました。\n\n");
    QTest::newRow("server command") << "mnServer" << withdrawn;
    QTest::newRow("exit") << "mnEnd"
                          << "";
}

void TestRooms::withdrawals()
{
    QFETCH(QString, how);
    QFETCH(QString, lines);
    DirectoryServer server;
    QVERIFY(startServer(server));
    WindowCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    writeEntry(a, QStringLiteral("ent"), realServerUrl(server), QStringLiteral("lobby"));
    enterQuick(a, QStringLiteral("ent"));
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, JoinWaitMs);
    QCOMPARE(exchange(server.port(), 9, getRequest("/?lobby")).body, a.address().toLatin1());

    const qsizetype before = a.logText().size();
    if (how == u"mnServer") // the list is closed without a choice
        whenModal<ServerListDialog>([](ServerListDialog *list) { list->reject(); });
    findAction(a.window(), how)->trigger();
    // The withdraw's reply changes nothing: its line is there at once.
    QCOMPARE(a.logText().mid(before), lines);
    QVERIFY(!a.session().room().waiting());
    QVERIFY(!findAction(a.window(), QStringLiteral("mnWaitQuit"))->isVisible());
    if (how != u"mnEnd") // closing withdraws silently, title and all
        QVERIFY(!a.title().contains(QStringLiteral("待機")));
    QTRY_VERIFY(!QApplication::activeModalWidget()); // the list was closed
    // The room is empty again once the withdraw is in: the next caller waits there.
    QTRY_COMPARE_WITH_TIMEOUT(exchange(server.port(), 9, getRequest("/?lobby")).body, QByteArray("NoUser"), JoinWaitMs);
}

// The window keeps running while the server is asked; whatever happens meanwhile is safe.
void TestRooms::whileTheServerIsAsked()
{
    ScriptedHttpServer scripted;
    const Answer slow = ScriptedHttpServer::reply("NoUser", 200, 1500);
    scripted.script << slow << slow << slow;
    scripted.otherwise = ScriptedHttpServer::reply("NoUser", 200, 300);
    auto a = std::make_unique<WindowCopy>(1, QStringLiteral("A"));
    writeEntry(*a, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    const QString entering = QStringLiteral(" ●サーバ: ent に接続します\n");

    // A new F3 cancels the request still out and goes on, with every line of its own.
    startQuick(*a, QStringLiteral("ent"));
    QVERIFY(findAction(a->window(), QStringLiteral("mnServer"))->isEnabled());
    QVERIFY(findAction(a->window(), QStringLiteral("mnQuick"))->isEnabled());
    QTRY_COMPARE(scripted.requestLines.size(), 1);
    a->session().setQuickServer(QString());
    a->session().quickCommand();
    QVERIFY(a->logText().endsWith(entering + QStringLiteral(" ●クイックサーバが登録されていません\n")));
    QVERIFY(!a->session().room().busy());
    startQuick(*a, QStringLiteral("ent"));
    QTRY_COMPARE(scripted.requestLines.size(), 2);
    a->session().quickCommand();
    QVERIFY(a->logText().endsWith(entering + entering));
    // A member arrives meanwhile, so nobody-waiting is not said.
    TestCopy b(2, QStringLiteral("B"));
    b.joinThrough(a->address());
    QVERIFY(answered(*a));
    QCOMPARE(scripted.requestLines.size(), 3);
    QCOMPARE(a->connectionCount(), 1);
    QVERIFY(a->session().room().waiting());
    QVERIFY(!a->logText().contains(QStringLiteral("待機中の人がいません")));

    // Closing the window while entering withdraws at once and ignores the late reply.
    a->session().withdrawCommand();
    QVERIFY(answered(*a));
    startQuick(*a, QStringLiteral("ent"));
    QTRY_COMPARE(scripted.requestLines.size(), 5);
    a->window().close();
    QTRY_COMPARE(scripted.requestLines.size(), 6);
    QCOMPARE(scripted.requestLines.mid(4),
             (QList<QByteArray>{"GET /room.cgi?lobby HTTP/1.1", "GET /room.cgi?lobby+quit HTTP/1.1"}));
    QVERIFY(!a->session().room().waiting());
    QVERIFY(!a->title().contains(QStringLiteral("待機")));

    // A copy that goes away while its server is asked leaves nothing behind, and its
    // withdraw still goes out.
    auto c = std::make_unique<TestCopy>(3, QStringLiteral("C"));
    writeEntry(*c, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    startQuick(*c, QStringLiteral("ent"));
    QTRY_COMPARE(scripted.requestLines.size(), 7);
    c.reset();
    QTRY_COMPARE(scripted.requestLines.size(), 8);
    QCOMPARE(scripted.requestLines.last(), QByteArray("GET /room.cgi?lobby+quit HTTP/1.1"));

    // A join the user begins while the room is asked goes on: the partner the reply names
    // is not dialled.
    StalledPort elsewhere(8, JoinPort);
    QVERIFY(elsewhere.stalled());
    scripted.otherwise = ScriptedHttpServer::reply(loopbackText(9).toLatin1(), 200, 300);
    TestCopy d(4, QStringLiteral("D"));
    writeEntry(d, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    startQuick(d, QStringLiteral("ent"));
    d.session().joinAddress(loopbackText(8));
    QVERIFY(answered(d));
    QVERIFY(!d.logText().contains(loopbackText(9)));
    QCOMPARE(d.title(), QStringLiteral("たるにべ - 接続中 [entで待機]"));
    // The room asked again while that join is still under way: the newer command wins, and
    // the partner named is dialled (only joins begun after the request went out count).
    startQuick(d, QStringLiteral("ent"));
    QVERIFY(answered(d));
    QVERIFY(d.logText().contains(QStringLiteral(" ●%1 に接続中...").arg(loopbackText(9))));
}

// Three meet in a room and the first one quits: it leaves the room before its connections
// close, so one of the two others, renewing as its connection ends, is the one waiting there.
// The first one's path to the server is slow, so that its withdraw would come last if it
// went out beside the closing.
void TestRooms::theRoomOutlivesItsFirstWaiter()
{
    DirectoryServer server;
    QVERIFY(startServer(server));
    TcpRelay slowPath(QHostAddress::LocalHost, QHostAddress::LocalHost, server.port(), 500, 0, loopback(1));
    QVERIFY(slowPath.listening());
    std::vector<std::unique_ptr<TestCopy>> copies;
    for (int n = 1; n <= 4; ++n) {
        copies.push_back(std::make_unique<TestCopy>(n, QStringLiteral("m%1").arg(n)));
        const QString url =
            n == 1 ? QStringLiteral("http://127.0.0.1:%1/tarnivel").arg(slowPath.port()) : realServerUrl(server);
        writeEntry(*copies.back(), QStringLiteral("ent"), url, QStringLiteral("lobby"));
    }
    TestCopy &first = *copies[0];
    enterQuick(first, QStringLiteral("ent"));
    for (int i = 1; i <= 2; ++i) {
        enterQuick(*copies[i], QStringLiteral("ent"));
        QTRY_COMPARE_WITH_TIMEOUT(copies[i]->namedMemberCount(), i, JoinWaitMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(first.namedMemberCount(), 2, JoinWaitMs);

    first.close();
    for (int i = 1; i <= 2; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(copies[i]->namedMemberCount(), 1, JoinWaitMs);
    TestCopy &newcomer = *copies[3];
    enterQuick(newcomer, QStringLiteral("ent"));
    QVERIFY(!newcomer.logText().contains(QStringLiteral("待機中の人がいません")));
    QTRY_COMPARE_WITH_TIMEOUT(newcomer.namedMemberCount(), 2, JoinWaitMs);
}

void TestRooms::startSwitchOpensTheList()
{
    FakeDesktop desktop;
    MainWindow window(desktop.options(loopback(4)));
    QString opened;
    whenModal<ServerListDialog>([&](ServerListDialog *list) {
        opened = list->windowTitle();
        list->reject();
    });
    window.load(QStringLiteral("/L"));
    QTRY_COMPARE(opened, QStringLiteral("サーバに接続"));
    window.unload();
}

void TestRooms::lateEntryChoice_data()
{
    QTest::addColumn<QString>("meanwhile"); // while the list is open
    QTest::addColumn<QString>("chosen");    // null: closed without a choice
    QTest::addColumn<bool>("entered");
    QTest::newRow("chosen") << ""
                            << "ent" << true;
    QTest::newRow("closed without a choice") << "" << QString() << false;
    QTest::newRow("a quick-server command came first") << "quick"
                                                       << "ent" << false;
    QTest::newRow("the copy closed meanwhile") << "close"
                                               << "ent" << false;
}

// The list answers long after the server command; an answer overtaken by another room command
// or by closing enters nothing.
void TestRooms::lateEntryChoice()
{
    QFETCH(QString, meanwhile);
    QFETCH(QString, chosen);
    QFETCH(bool, entered);
    ScriptedHttpServer scripted;
    scripted.otherwise = ScriptedHttpServer::reply("NoUser");
    TestCopy a(1, QStringLiteral("A"));
    writeEntry(a, QStringLiteral("ent"), scripted.url(), QStringLiteral("lobby"));
    RoomExchange::EntryChosen answer;
    a.session().serverCommand([&answer](RoomExchange::EntryChosen given) { answer = std::move(given); });
    QVERIFY(answer);
    if (meanwhile == u"quick")
        a.session().quickCommand(); // no quick entry: it says so and enters nothing
    else if (meanwhile == u"close")
        a.close();
    const qsizetype before = a.logText().size();
    answer(chosen.isNull() ? std::nullopt : std::optional<QString>(chosen));
    QCOMPARE(a.logText().mid(before), entered ? QStringLiteral(" ●サーバ: ent に接続します\n") : QString());
    QCOMPARE(a.session().room().busy(), entered);
    if (entered) {
        QVERIFY(answered(a));
        QVERIFY(a.session().room().waiting());
    }
}

QTEST_MAIN(TestRooms)
#include "tst_rooms.moc"
