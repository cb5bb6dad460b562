// Own-address lookup: the dotted-address test, the dial-up link choice, and the lookup
// itself against an address server on a loopback address, which never blocks the caller.

#include "address/dottedaddress.h"
#include "address/ownaddress.h"
#include "model/preferences.h"
#include "desktop/clipboard.h"
#include "desktop/dialup.h"
#include "fakes.h"
#include "scriptedhttpserver.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QtTest>

using namespace tarnivel;
using tarnivel::test::FixedDialup;
using tarnivel::test::RecordingClipboard;
using tarnivel::test::ScriptedHttpServer;

Q_DECLARE_METATYPE(QList<tarnivel::InterfaceInfo>)
Q_DECLARE_METATYPE(tarnivel::test::ScriptedHttpServer::Answer)

namespace {

InterfaceInfo link(bool up, bool running, bool pointToPoint, bool loopback, const QStringList &addresses)
{
    InterfaceInfo info{up, running, pointToPoint, loopback, {}};
    for (const QString &address : addresses)
        info.addresses.append(QHostAddress(address));
    return info;
}

InterfaceInfo ppp(const QStringList &addresses)
{
    return link(true, true, true, false, addresses);
}

// One lookup's surroundings: the copy binds to loopback(1), its address server listens on
// loopback(2).
struct Lookup
{
    Lookup() { own.setServerTimeoutMs(ShortTimeoutMs); }
    static constexpr int ShortTimeoutMs = 1500;

    // Starts a lookup; true once its `done` has run.
    std::shared_ptr<bool> find(QObject *context = nullptr)
    {
        auto done = std::make_shared<bool>(false);
        own.findMyAddress(context ? context : &own, [done] { *done = true; });
        return done;
    }

    ScriptedHttpServer server{test::loopback(2)};
    Preferences prefs;
    FixedDialup dialup;
    OwnAddress own{prefs, dialup, test::loopback(1)};
};

} // namespace

class TestOwnAddress : public QObject
{
    Q_OBJECT

private slots:
    void dottedAddress_data();
    void dottedAddress();

    void dialupChoice_data();
    void dialupChoice();

    void serverReply_data();
    void serverReply();
    void lookupOrderAndSharedAnswers();
    void copyPutsAddressOnClipboard();
};

void TestOwnAddress::dottedAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dotted");

    QTest::newRow("plain") << "192.168.10.200" << true;
    QTest::newRow("all zero") << "0.0.0.0" << true;
    QTest::newRow("all 255") << "255.255.255.255" << true;
    QTest::newRow("first above 255") << "256.1.1.1" << false;
    QTest::newRow("third above 255") << "1.2.300.4" << false;
    QTest::newRow("last above 255") << "1.2.3.256" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("empty first part") << ".2.3.4" << false;
    QTest::newRow("empty middle part") << "1..3.4" << false;
    QTest::newRow("empty last part") << "1.2.3." << false;
    QTest::newRow("blank last part") << "1.2.3. " << false;
    QTest::newRow("two stops") << "1.2.3" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("letter after digits") << "1.2.3.4a" << false;
    QTest::newRow("host name") << "example.com" << false;
    QTest::newRow("fifth group read with the fourth") << "1.2.3.4.5" << true;
    QTest::newRow("fourth and fifth above 255") << "1.2.3.255.5" << false;
    QTest::newRow("fourth and fifth just above 255") << "1.2.3.255.0000000000001" << false;
    QTest::newRow("fifth group alone, as a fraction") << "1.2.3..5" << true;
    QTest::newRow("sixth group") << "1.2.3.4.5.6" << false;
    QTest::newRow("blanks around parts") << " 1. 2.3\t.4 " << true;
    QTest::newRow("trailing LF") << "1.2.3.4\n" << false;
    QTest::newRow("trailing CR LF") << "1.2.3.4\r\n" << false;
    QTest::newRow("plus sign") << "1.2.3.+4" << true;
    QTest::newRow("negative") << "1.2.-3.4" << false;
    QTest::newRow("hexadecimal") << "1.2.3.0x1" << false;
    QTest::newRow("exponent") << "1.2.3.1e2" << false;
    QTest::newRow("full-width digits") << "１.２.３.４" << false;
    QTest::newRow("leading zeros") << "010.001.000.255" << true;
}

void TestOwnAddress::dottedAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, dotted);
    QCOMPARE(isDottedAddress(text), dotted);
}

void TestOwnAddress::dialupChoice_data()
{
    QTest::addColumn<QList<InterfaceInfo>>("interfaces");
    QTest::addColumn<QString>("expected");

    const InterfaceInfo ethernet = link(true, true, false, false, {"192.168.1.5"});
    const InterfaceInfo lo = link(true, true, false, true, {"127.0.0.1", "::1"});

    QTest::newRow("no interfaces") << QList<InterfaceInfo>{} << "";
    QTest::newRow("only local network") << QList{lo, ethernet} << "";
    QTest::newRow("one dial-up link") << QList{lo, ethernet, ppp({"10.64.3.9"})} << "10.64.3.9";
    QTest::newRow("link down") << QList{link(false, true, true, false, {"10.64.3.9"})} << "";
    QTest::newRow("link not running") << QList{link(true, false, true, false, {"10.64.3.9"})} << "";
    QTest::newRow("point-to-point loopback") << QList{link(true, true, true, true, {"127.0.0.2"})} << "";
    QTest::newRow("IPv6 only") << QList{ppp({"fe80::1"})} << "";
    QTest::newRow("IPv4 after IPv6") << QList{ppp({"fe80::1", "10.1.1.1"})} << "10.1.1.1";
    QTest::newRow("two links") << QList{ppp({"10.1.1.1"}), ppp({"10.2.2.2"})} << "";
    QTest::newRow("second link without IPv4") << QList{ppp({"fe80::2"}), ppp({"10.2.2.2"})} << "10.2.2.2";
    QTest::newRow("second link down") << QList{ppp({"10.1.1.1"}), link(false, false, true, false, {"10.2.2.2"})}
                                      << "10.1.1.1";
}

void TestOwnAddress::dialupChoice()
{
    QFETCH(QList<InterfaceInfo>, interfaces);
    QFETCH(QString, expected);
    QCOMPARE(dialupAddressFrom(interfaces), expected);
}

void TestOwnAddress::serverReply_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<QString>("expected");

    using S = ScriptedHttpServer;
    QTest::newRow("dotted") << S::reply("203.0.113.7") << "203.0.113.7";
    QTest::newRow("part above 255") << S::reply("203.0.113.256") << "";
    QTest::newRow("empty part") << S::reply("203..113.7") << "";
    QTest::newRow("letters") << S::reply("203.0.x.7") << "";
    QTest::newRow("two stops") << S::reply("203.0.113") << "";
    QTest::newRow("fifth group kept whole") << S::reply("1.2.3.4.5") << "1.2.3.4.5";
    QTest::newRow("trailing line break") << S::reply("203.0.113.7\r\n") << "";
    QTest::newRow("html page") << S::reply("<html>203.0.113.7</html>") << "";
    QTest::newRow("not found page holding an address") << S::reply("203.0.113.7", 404) << "";
    QTest::newRow("answers late but in time")
        << S::reply("203.0.113.9", 200, Lookup::ShortTimeoutMs / 3) << "203.0.113.9";
    QTest::newRow("never answers") << S::silence() << "";
    QTest::newRow("answers after the time-out") << S::reply("203.0.113.9", 200, 3 * Lookup::ShortTimeoutMs) << "";
}

void TestOwnAddress::serverReply()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(QString, expected);
    Lookup l;
    l.server.script << answer;
    l.own.setAddressServer(l.server.url(QStringLiteral("/myip")));

    const auto done = l.find();
    QVERIFY(!*done); // the caller goes on at once
    QVERIFY(l.own.looking());
    QTRY_VERIFY_WITH_TIMEOUT(*done, 10000);
    QCOMPARE(l.own.myAddress(), expected);
    QCOMPARE(l.server.requestLines, QList<QByteArray>{"GET /myip HTTP/1.1"});
    // Asked from the copy's own address, so the server reports the address the copy uses.
    QCOMPARE(l.server.callers, QStringList{test::loopbackText(1)});
}

void TestOwnAddress::lookupOrderAndSharedAnswers()
{
    Lookup l;
    l.server.otherwise = ScriptedHttpServer::reply("203.0.113.7", 200, 200);

    // No dial-up link and no server: nothing is asked, and the answer is there at once.
    auto done = l.find();
    QVERIFY(*done);
    QCOMPARE(l.own.myAddress(), QString());

    // A dial-up link wins without asking the server.
    l.own.setAddressServer(l.server.url(QStringLiteral("/ip")));
    l.dialup.value = QStringLiteral("10.64.3.9");
    QString seenByWaiter;
    l.own.findMyAddress(&l.own, [&] { seenByWaiter = l.own.myAddress(); });
    QCOMPARE(seenByWaiter, QStringLiteral("10.64.3.9")); // answered at once, with the new address
    QVERIFY(l.server.requestLines.isEmpty());

    // Without it, lookups asked for while the server is being asked share its one answer,
    // and one whose asker has gone is not answered.
    l.dialup.value.clear();
    auto first = l.find();
    auto second = l.find();
    bool orphanAnswered = false;
    {
        QObject gone;
        l.own.findMyAddress(&gone, [&] { orphanAnswered = true; });
    }
    QTRY_VERIFY(*first && *second);
    QCOMPARE(l.own.myAddress(), QStringLiteral("203.0.113.7"));
    QCOMPARE(l.server.requestLines.size(), 1);
    QVERIFY(!orphanAnswered);

    // A failed request overwrites the address found before, once it has failed.
    l.server.otherwise = ScriptedHttpServer::reply("", 500);
    done = l.find();
    QCOMPARE(l.own.myAddress(), QStringLiteral("203.0.113.7"));
    QTRY_VERIFY(*done);
    QCOMPARE(l.own.myAddress(), QString());
}

void TestOwnAddress::copyPutsAddressOnClipboard()
{
    Lookup l;
    RecordingClipboard clipboard;
    l.own.copyMyAddress(&l.own, clipboard);
    QCOMPARE(clipboard.calls, QStringList()); // unknown address: the clipboard is left alone

    l.own.setAddressServer(l.server.url(QStringLiteral("/ip")));
    l.server.otherwise = ScriptedHttpServer::reply("203.0.113.7", 200, 100);
    l.own.copyMyAddress(&l.own, clipboard);
    QCOMPARE(clipboard.calls, QStringList()); // not before the answer is in
    QTRY_COMPARE(clipboard.calls, QStringList({"clear", "set 203.0.113.7"}));
}

QTEST_GUILESS_MAIN(TestOwnAddress)
#include "tst_ownaddress.moc"
