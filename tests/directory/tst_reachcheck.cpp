// The reachability check as a copy makes it: which URL it asks, and what each answer of the
// directory server writes into the log (a server that answers anything but Open or Closed,
// an older one with 404 among them, gets no line). The copies here are bound to loopback
// addresses, where no router is asked.

#include "rawpeer.h"
#include "scriptedhttpserver.h"
#include "testcopy.h"

#include "directory/entryfile.h"
#include "directory/reachcheck.h"
#include "model/extraswitches.h"
#include "session/outsideaccess.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
const QString ReachableLine = QStringLiteral(" ●外部から接続できます。");
const QString UnreachableLine = QStringLiteral(" ●外部から接続できません: TCP 3220 と 4330 を開いてください");
const QString NoGatewayLine = QStringLiteral(" ●ルータが見つからないので、ポートを自動で開けませんでした。");
const QString WaitUnreachableLine = QStringLiteral(" ●外部から接続できないので、このまま待っても誰も参加できません。");
} // namespace

Q_DECLARE_METATYPE(tarnivel::test::ScriptedHttpServer::Answer)

class TestReachCheck : public QObject
{
    Q_OBJECT
private slots:
    void reachUrlFromEntry_data();
    void reachUrlFromEntry();
    void answersAfterEnteringARoom_data();
    void answersAfterEnteringARoom();
    void switchesInTheSettingsMenu_data();
    void switchesInTheSettingsMenu();
};

void TestReachCheck::reachUrlFromEntry_data()
{
    QTest::addColumn<QByteArray>("entryUrl");
    QTest::addColumn<QByteArray>("expected"); // empty: no check
    QTest::newRow("path and query dropped")
        << QByteArray("http://dir.example/cgi-bin/dir.cgi?x") << QByteArray("http://dir.example/reach");
    QTest::newRow("port kept") << QByteArray("http://192.0.2.9:8080/") << QByteArray("http://192.0.2.9:8080/reach");
    QTest::newRow("TLS and user kept") << QByteArray("HTTPS://u:p@dir.example:8443/r")
                                       << QByteArray("https://u:p@dir.example:8443/reach");
    QTest::newRow("no path") << QByteArray(" http://dir.example ") << QByteArray("http://dir.example/reach");
    QTest::newRow("IPv6 literal") << QByteArray("http://[2001:db8::1]:81/a")
                                  << QByteArray("http://[2001:db8::1]:81/reach");
    QTest::newRow("not HTTP") << QByteArray("ftp://dir.example/") << QByteArray();
    QTest::newRow("no host") << QByteArray("http:///x") << QByteArray();
    QTest::newRow("not a URL") << QByteArray("dir.example") << QByteArray();
}

void TestReachCheck::reachUrlFromEntry()
{
    QFETCH(QByteArray, entryUrl);
    QFETCH(QByteArray, expected);
    QCOMPARE(reachUrl(entryUrl).value_or(QByteArray()), expected);
}

namespace {
// When the copy's own join closes its join port, which the server's check dials.
enum class OwnJoin { None, BeforeEntering, WhileChecking };
} // namespace

void TestReachCheck::answersAfterEnteringARoom_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<int>("ownJoin");
    QTest::addColumn<QString>("line"); // empty: none
    const auto none = int(OwnJoin::None);
    QTest::newRow("Open") << ScriptedHttpServer::reply("Open") << none << ReachableLine;
    QTest::newRow("Closed") << ScriptedHttpServer::reply("Closed") << none << UnreachableLine;
    QTest::newRow("older server: 404") << ScriptedHttpServer::reply("NotFound", 404) << none << QString();
    QTest::newRow("checked a minute ago: 429") << ScriptedHttpServer::reply("TooManyChecks", 429) << none << QString();
    QTest::newRow("some other body") << ScriptedHttpServer::reply("NoUser") << none << QString();
    QTest::newRow("Closed, met while a join closed the port: unknown")
        << ScriptedHttpServer::reply("Closed", 200, 800) << int(OwnJoin::WhileChecking) << QString();
    QTest::newRow("entered during a join: asked once the port listens again")
        << ScriptedHttpServer::reply("Closed") << int(OwnJoin::BeforeEntering) << UnreachableLine;
}

void TestReachCheck::answersAfterEnteringARoom()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(int, ownJoin);
    QFETCH(QString, line);
    ScriptedHttpServer server;
    server.script = {ScriptedHttpServer::reply("NoUser"), answer};
    TestCopy copy(loopbackText(6), QStringLiteral("waiter"), nullptr, {true});
    auto elsewhere = std::make_unique<StalledPort>(7, JoinPort);
    QVERIFY(elsewhere->stalled());
    QVERIFY(writeEntryFile(entryFilePath(copy.session().room().entryFolder(), QStringLiteral("room")),
                           {server.url(QStringLiteral("/cgi-bin/dir.cgi")), QStringLiteral("lobby")}));
    if (OwnJoin(ownJoin) == OwnJoin::BeforeEntering)
        copy.session().joinAddress(loopbackText(7));
    copy.session().setQuickServer(QStringLiteral("room"));
    copy.session().quickCommand();
    if (OwnJoin(ownJoin) == OwnJoin::BeforeEntering) {
        QTRY_VERIFY_WITH_TIMEOUT(copy.session().room().waiting(), WaitMs);
        QCOMPARE(server.requestLines.size(), 1); // not while the join port is closed
        elsewhere.reset();                       // the join is refused, and the copy listens again
    }

    // The check follows the enter request, from the copy's own address.
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 2, WaitMs);
    QCOMPARE(server.requestLines.at(1), QByteArray("GET /reach HTTP/1.1"));
    QCOMPARE(server.callers.at(1), copy.address());
    QVERIFY(copy.session().room().waiting());
    if (OwnJoin(ownJoin) == OwnJoin::WhileChecking)
        copy.session().joinAddress(loopbackText(7));
    QTRY_VERIFY_WITH_TIMEOUT(!copy.session().outsideAccess()->checking(), WaitMs);
    if (!line.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(line), WaitMs);
    copy.session().withdrawCommand();
    QTRY_COMPARE_WITH_TIMEOUT(server.requestLines.size(), 3, WaitMs);
    QVERIFY(server.requestLines.at(2).endsWith("+quit HTTP/1.1"));
    QTRY_VERIFY_WITH_TIMEOUT(!copy.session().room().busy(), WaitMs);
    QCOMPARE(copy.logText().contains(ReachableLine), line == ReachableLine);
    QCOMPARE(copy.logText().contains(UnreachableLine), line == UnreachableLine);
    // Only a closed port warns the waiter, once.
    QCOMPARE(copy.logText().count(WaitUnreachableLine), line == UnreachableLine ? 1 : 0);
}

void TestReachCheck::switchesInTheSettingsMenu_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::newRow("port mapping") << QStringLiteral("mnPortMapping") << QStringLiteral("ルータのポートを自動で開く");
    QTest::newRow("reachability check") << QStringLiteral("mnReachCheck")
                                        << QStringLiteral("外部から接続できるか確かめる");
}

void TestReachCheck::switchesInTheSettingsMenu()
{
    // On at first; a toggle reaches the copy at once and is kept in tarnivel.ini.
    QFETCH(QString, item);
    QFETCH(QString, caption);
    WindowCopy copy(loopbackText(7), QStringLiteral("w"), nullptr, {true});
    OutsideAccess &outside = *copy.session().outsideAccess();
    const bool mapping = item == QLatin1String("mnPortMapping");
    const auto state = [&] {
        return mapping ? outside.portMapping() : outside.reachCheck();
    };
    const ExtraSwitch &which = mapping ? extraswitch::PortMapping : extraswitch::ReachCheck;
    const QString ini = copy.session().programFile(QString::fromLatin1(ExtraSettingsFileName));
    QAction *action = findAction(copy.window(), item);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QVERIFY(action->isChecked());
    QVERIFY(state());
    QTRY_VERIFY_WITH_TIMEOUT(copy.logText().contains(NoGatewayLine), WaitMs);

    action->trigger();
    QVERIFY(!state());
    QVERIFY(!readExtraSwitch(ini, which));
    action->trigger();
    QVERIFY(state());
    QVERIFY(readExtraSwitch(ini, which));
    // Mapping switched on again asks the router again and says what it found again.
    QTRY_COMPARE_WITH_TIMEOUT(copy.logText().count(NoGatewayLine), mapping ? 2 : 1, WaitMs);
}

QTEST_MAIN(TestReachCheck)
#include "tst_reachcheck.moc"
