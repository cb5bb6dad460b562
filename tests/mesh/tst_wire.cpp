// Messages on the chat and join ports, byte for byte as they go out, and how arrivals are read.

#include "testsupport.h"
#include "mesh/arrivalbudget.h"
#include "mesh/chattext.h"
#include "mesh/wire.h"
#include "text/codepage932.h"

#include <QTest>

using namespace tarnivel;
using tarnivel::test::bytes;
using wire::ChatArrivalKind;
using wire::JoinReplyKind;

Q_DECLARE_METATYPE(wire::ChatArrivalKind)
Q_DECLARE_METATYPE(wire::JoinReplyKind)

namespace {

// たろう and 花子 in code page 932.
const QByteArray Taro = bytes({0x82, 0xBD, 0x82, 0xEB, 0x82, 0xA4});
const QByteArray Hanako = bytes({0x89, 0xD4, 0x8E, 0x71});
const QByteArray PrivateSeparator = bytes({0x81, 0x69, 0x94, 0xE9, 0x81, 0x6A, 0x3A, 0x20});

QString text(const QByteArray &wireBytes)
{
    return cp932::decode(wireBytes);
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void messageBytes_data();
    void messageBytes();
    void peerListRoundTrip();
    void splitPeerList_data();
    void splitPeerList();
    void joinReply_data();
    void joinReply();
    void joinRequest_data();
    void joinRequest();
    void chatArrival_data();
    void chatArrival();
    void longestLineEncodesAndReadsBackWhole();
    void chatTextAssembly_data();
    void chatTextAssembly();
    void arrivalBudget_data();
    void arrivalBudget();
};

void TestWire::messageBytes_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");

    const QString taro = QStringLiteral("たろう");
    QTest::newRow("hello") << wire::hello(taro) << bytes({0x02}) + Taro;
    QTest::newRow("hello, empty name") << wire::hello(QString()) << bytes({0x02});
    QTest::newRow("welcome") << wire::welcome(QStringLiteral("花子")) << bytes({0x03}) + Hanako;
    QTest::newRow("public line") << wire::publicLine(taro, QStringLiteral("hi")) << Taro + QByteArray("> hi\r\n");
    QTest::newRow("public line, empty text")
        << wire::publicLine(QStringLiteral("x"), QString()) << QByteArray("x> \r\n");
    QTest::newRow("private line") << wire::privateLine(taro, QStringLiteral("秘密"))
                                  << bytes({0x01}) + Taro + PrivateSeparator
            + bytes({0x94, 0xE9, 0x96, 0xA7, 0x0D, 0x0A});
    QTest::newRow("private line, ASCII") << wire::privateLine(QStringLiteral("bob"), QStringLiteral("a"))
                                         << QByteArray("\x01"
                                                       "bob")
            + PrivateSeparator + QByteArray("a\r\n");
    QTest::newRow("text is sent as typed")
        << wire::publicLine(QStringLiteral("a"), QStringLiteral("> \x01\r\n")) << QByteArray("a> > \x01\r\n\r\n");
    QTest::newRow("join request") << wire::joinRequest() << bytes({0x02});
    QTest::newRow("full") << wire::full() << bytes({0x04});
    QTest::newRow("peer list, own address only") << wire::peerList(QStringLiteral("10.0.0.1"), {})
                                                 << QByteArray("\x03"
                                                               "10.0.0.1\x03");
    QTest::newRow("peer list, own address unknown") << wire::peerList(QString(), {QStringLiteral("10.0.0.2")})
                                                    << QByteArray("\x03\x03"
                                                                  "10.0.0.2\x03");
    QTest::newRow("peer list, two peers")
        << wire::peerList(QStringLiteral("1.1.1.1"), {QStringLiteral("2.2.2.2"), QStringLiteral("3.3.3.3")})
        << QByteArray("\x03"
                      "1.1.1.1\x03"
                      "2.2.2.2\x03"
                      "3.3.3.3\x03");
}

void TestWire::messageBytes()
{
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(cp932::encode(message), expected);
}

void TestWire::peerListRoundTrip()
{
    // A copy with nine connections lists itself and nine peers; the newcomer reads them back
    // in the same order, one per dialled slot.
    QStringList peers;
    for (int i = 2; i <= 10; ++i)
        peers << QStringLiteral("192.168.0.%1").arg(i);
    const QString list = text(cp932::encode(wire::peerList(QStringLiteral("192.168.0.1"), peers)));
    const wire::JoinReply reply = wire::classifyJoinReply(list);
    QCOMPARE(reply.kind, JoinReplyKind::PeerList);
    QCOMPARE(reply.fields, QStringList{QStringLiteral("192.168.0.1")} + peers);

    // Ten peers and the own address need exactly the twelve marks there is room for.
    peers << QStringLiteral("192.168.0.11");
    QCOMPARE(wire::splitPeerList(wire::peerList(QStringLiteral("192.168.0.1"), peers)).size(), 11);
}

void TestWire::splitPeerList_data()
{
    QTest::addColumn<QString>("arrival");
    QTest::addColumn<QStringList>("fields");

    QString twelveMarks(QChar(0x03));
    QStringList elevenFields;
    for (int i = 1; i <= 11; ++i) {
        twelveMarks += QStringLiteral("h%1\x03").arg(i);
        elevenFields << QStringLiteral("h%1").arg(i);
    }

    QTest::newRow("one mark") << QStringLiteral("\x03") << QStringList();
    QTest::newRow("one mark, trailing text") << QStringLiteral("\x03"
                                                               "1.2.3.4")
                                             << QStringList();
    QTest::newRow("own address") << QStringLiteral("\x03"
                                                   "1.2.3.4\x03")
                                 << QStringList{QStringLiteral("1.2.3.4")};
    QTest::newRow("empty own address") << QStringLiteral("\x03\x03"
                                                         "5.6.7.8\x03")
                                       << QStringList{QString(), QStringLiteral("5.6.7.8")};
    QTest::newRow("empty field in the middle keeps numbering")
        << QStringLiteral("\x03"
                          "a\x03\x03"
                          "c\x03")
        << QStringList{QStringLiteral("a"), QString(), QStringLiteral("c")};
    QTest::newRow("text after last mark ignored") << QStringLiteral("\x03"
                                                                    "a\x03"
                                                                    "b\x03"
                                                                    "junk")
                                                  << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("Japanese text in fields")
        << QStringLiteral("\x03ホスト\x03") << QStringList{QStringLiteral("ホスト")};
    QTest::newRow("exactly twelve marks") << twelveMarks << elevenFields;
    QTest::newRow("thirteen marks, surplus ignored") << twelveMarks + QStringLiteral("h12\x03") << elevenFields;
    QTest::newRow("many marks, surplus ignored")
        << twelveMarks + QString(40, QChar(0x03)) + QStringLiteral("x\x03") << elevenFields;
    QTest::newRow("all marks") << QString(30, QChar(0x03)) << QStringList(11, QString());
}

void TestWire::splitPeerList()
{
    QFETCH(QString, arrival);
    QFETCH(QStringList, fields);
    QCOMPARE(wire::splitPeerList(arrival), fields);
}

void TestWire::joinReply_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<JoinReplyKind>("kind");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("peer list") << QByteArray("\x03"
                                             "1.2.3.4\x03"
                                             "5.6.7.8\x03")
                               << JoinReplyKind::PeerList
                               << QStringList{QStringLiteral("1.2.3.4"), QStringLiteral("5.6.7.8")};
    QTest::newRow("bare mark is an empty list") << QByteArray("\x03") << JoinReplyKind::PeerList << QStringList();
    QTest::newRow("full") << QByteArray("\x04") << JoinReplyKind::Full << QStringList();
    QTest::newRow("full with trailing text") << QByteArray("\x04xyz") << JoinReplyKind::Full << QStringList();
    QTest::newRow("empty") << QByteArray() << JoinReplyKind::Error << QStringList();
    QTest::newRow("hello mark") << QByteArray("\x02") << JoinReplyKind::Error << QStringList();
    QTest::newRow("private mark") << QByteArray("\x01") << JoinReplyKind::Error << QStringList();
    QTest::newRow("mark not first") << QByteArray(" \x03"
                                                  "1.2.3.4\x03")
                                    << JoinReplyKind::Error << QStringList();
    QTest::newRow("refuse mark not first") << QByteArray("a\x04") << JoinReplyKind::Error << QStringList();
    QTest::newRow("text") << QByteArray("HTTP/1.0 200 OK") << JoinReplyKind::Error << QStringList();
}

void TestWire::joinReply()
{
    QFETCH(QByteArray, arrival);
    QFETCH(JoinReplyKind, kind);
    QFETCH(QStringList, fields);
    const wire::JoinReply reply = wire::classifyJoinReply(text(arrival));
    QCOMPARE(reply.kind, kind);
    QCOMPARE(reply.fields, fields);
}

void TestWire::joinRequest_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<bool>("isRequest");

    QTest::newRow("hello mark alone") << bytes({0x02}) << true;
    QTest::newRow("hello mark with more") << bytes({0x02, 'x'}) << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("reply mark") << bytes({0x03}) << false;
    QTest::newRow("refuse mark") << bytes({0x04}) << false;
    QTest::newRow("private mark") << bytes({0x01}) << false;
    QTest::newRow("hello mark not first") << bytes({' ', 0x02}) << false;
    QTest::newRow("stray text") << QByteArray("GET / HTTP/1.0\r\n") << false;
}

void TestWire::joinRequest()
{
    QFETCH(QByteArray, arrival);
    QFETCH(bool, isRequest);
    QCOMPARE(wire::isJoinRequest(text(arrival)), isRequest);
}

void TestWire::chatArrival_data()
{
    // Same arrival, read on an accepted and on a dialled chat socket.
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<ChatArrivalKind>("onAccepted");
    QTest::addColumn<ChatArrivalKind>("onDialled");
    QTest::addColumn<QString>("name");

    const ChatArrivalKind hello = ChatArrivalKind::Hello;
    const ChatArrivalKind welcome = ChatArrivalKind::Welcome;
    const ChatArrivalKind chat = ChatArrivalKind::ChatText;
    const ChatArrivalKind ignored = ChatArrivalKind::Ignored;
    const QString taro = QStringLiteral("たろう");

    QTest::newRow("hello") << bytes({0x02}) + Taro << hello << chat << taro;
    QTest::newRow("hello, empty name") << bytes({0x02}) << hello << chat << QString();
    QTest::newRow("hello, name keeps blanks and marks") << QByteArray("\x02 a\x02"
                                                                      "b \x01")
                                                        << hello << chat
                                                        << QStringLiteral(" a\x02"
                                                                          "b \x01");
    QTest::newRow("welcome") << bytes({0x03}) + Hanako << chat << welcome << QStringLiteral("花子");
    QTest::newRow("welcome joined with a chat line")
        << bytes({0x03}) + Hanako + QByteArray("x> hi\r\n") << chat << welcome << QStringLiteral("花子x> hi\r\n");
    QTest::newRow("refuse mark alone") << bytes({0x04}) << ignored << ignored << QString();
    QTest::newRow("refuse mark in the middle") << QByteArray("a> b\x04"
                                                             "c\r\n")
                                               << ignored << ignored << QString();
    QTest::newRow("refuse mark at the end of a hello") << QByteArray("\x02"
                                                                     "bob\x04")
                                                       << ignored << ignored << QString();
    QTest::newRow("refuse mark at the end of a welcome") << QByteArray("\x03"
                                                                       "bob\x04")
                                                         << ignored << ignored << QString();
    QTest::newRow("public line") << Taro + QByteArray("> hi\r\n") << chat << chat << QString();
    QTest::newRow("private line") << bytes({0x01}) + Taro + PrivateSeparator + QByteArray("x\r\n") << chat << chat
                                  << QString();
    QTest::newRow("hello mark not first") << QByteArray(" \x02"
                                                        "bob")
                                          << chat << chat << QString();
    QTest::newRow("join request byte on a chat socket") << bytes({0x02}) << hello << chat << QString();
    QTest::newRow("empty") << QByteArray() << chat << chat << QString();
}

void TestWire::chatArrival()
{
    QFETCH(QByteArray, arrival);
    QFETCH(ChatArrivalKind, onAccepted);
    QFETCH(ChatArrivalKind, onDialled);
    QFETCH(QString, name);

    const QString decoded = text(arrival);
    const wire::ChatArrival accepted = wire::classifyOnAccepted(decoded);
    const wire::ChatArrival dialled = wire::classifyOnDialled(decoded);
    QCOMPARE(accepted.kind, onAccepted);
    QCOMPARE(dialled.kind, onDialled);
    // Only a greeting carries a name; for everything else the caller uses the arrival itself.
    QCOMPARE(accepted.name, onAccepted == ChatArrivalKind::Hello ? name : QString());
    QCOMPARE(dialled.name, onDialled == ChatArrivalKind::Welcome ? name : QString());
}

void TestWire::longestLineEncodesAndReadsBackWhole()
{
    // 500 typed characters, all double-byte, plus the name: 1010 bytes that decode to the
    // same line, still read as chat text.
    const QString typed(500, QChar(u'あ'));
    const QString line = wire::publicLine(QStringLiteral("たろう"), typed);
    const QByteArray sent = cp932::encode(line);
    QCOMPARE(sent.size(), 6 + 2 + 1000 + 2);
    QVERIFY(sent.startsWith(Taro + "> \x82\xA0"));
    QVERIFY(sent.endsWith("\x82\xA0\r\n"));

    const QString received = text(sent);
    QCOMPARE(received, line);
    QCOMPARE(wire::classifyOnAccepted(received).kind, ChatArrivalKind::ChatText);
    QCOMPARE(wire::classifyOnDialled(received).kind, ChatArrivalKind::ChatText);

    const QString privateLine = wire::privateLine(QStringLiteral("たろう"), typed);
    QCOMPARE(cp932::encode(privateLine).size(), 1 + 6 + 8 + 1000 + 2);
    QCOMPARE(wire::classifyOnAccepted(text(cp932::encode(privateLine))).kind, ChatArrivalKind::ChatText);
}

void TestWire::chatTextAssembly_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QList<QByteArray>>("shown"); // what each arrival lets through at once
    QTest::addColumn<QByteArray>("held");         // what still waits at the end

    const QByteArray ta = Taro.left(2); // one two-byte character
    QTest::newRow("whole lines") << QList<QByteArray>{"a> 1\r\nb> 2\r\n"} << QList<QByteArray>{"a> 1\r\nb> 2\r\n"}
                                 << QByteArray();
    QTest::newRow("a line in two pieces")
        << QList<QByteArray>{"a> on", "e\r\nb"} << QList<QByteArray>{"", "a> one\r\n"} << QByteArray("b");
    QTest::newRow("a character in two pieces") << QList<QByteArray>{"a> " + ta.left(1), ta.mid(1) + "\r\n"}
                                               << QList<QByteArray>{"", "a> " + ta + "\r\n"} << QByteArray();
    QTest::newRow("CR and LF in two pieces")
        << QList<QByteArray>{"a> x\r", "\n"} << QList<QByteArray>{"", "a> x\r\n"} << QByteArray();
    // Past the most that is held, the text goes out up to its last whole character.
    const QByteArray flood = QByteArray(ChatTextAssembly::MaxHeldBytes, 'x') + ta + ta.left(1);
    QTest::newRow("a flood without line ends")
        << QList<QByteArray>{flood} << QList<QByteArray>{flood.chopped(1)} << ta.left(1);
}

void TestWire::chatTextAssembly()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QList<QByteArray>, shown);
    QFETCH(QByteArray, held);
    ChatTextAssembly assembly;
    for (qsizetype i = 0; i < arrivals.size(); ++i)
        QCOMPARE(assembly.add(arrivals[i]), shown[i]);
    QCOMPARE(assembly.holding(), !held.isEmpty());
    QCOMPARE(assembly.takeHeld(), held);
    QVERIFY(!assembly.holding());
}

// Steps: "uN" N bytes before the greeting, "gT" the greeting at T ms, "mN@T" N bytes from the
// member at T ms. Verdicts: one letter per u and m step, W within, O over.
void TestWire::arrivalBudget_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("verdicts");
    // Limits of the table: 10 bytes before the greeting, a burst of 100, 1000 bytes a second.
    QTest::newRow("before the greeting: up to the limit, then over") << "u6 u4 u1"
                                                                     << "WWO";
    QTest::newRow("a whole burst at once, not a byte more") << "g0 m100@0 m1@0"
                                                            << "WO";
    QTest::newRow("the bucket refills at its rate") << "g0 m100@0 m50@50 m1@50"
                                                    << "WWO";
    QTest::newRow("refilled no further than one burst") << "g0 m100@0 m101@60000"
                                                        << "WO";
    QTest::newRow("a clock that goes back refills nothing") << "g1000 m100@1000 m1@500"
                                                            << "WO";
    QTest::newRow("full from the greeting, however late") << "g5000 m100@5000 m10@5010"
                                                          << "WW";
}

void TestWire::arrivalBudget()
{
    QFETCH(QString, steps);
    QFETCH(QString, verdicts);
    const ArrivalLimits limits{10, 100, 1000};
    ArrivalBudget budget;
    QString got;
    const auto letter = [](ArrivalBudget::Verdict v) {
        return v == ArrivalBudget::Verdict::Within ? u'W' : u'O';
    };
    for (const QString &step : steps.split(u' ')) {
        const QStringList parts = step.mid(1).split(u'@');
        const qint64 number = parts.at(0).toLongLong();
        if (step.startsWith(u'u'))
            got += letter(budget.ungreeted(number, limits));
        else if (step.startsWith(u'g'))
            budget.greet(number, limits);
        else
            got += letter(budget.fromMember(number, parts.at(1).toLongLong(), limits));
    }
    QCOMPARE(got, verdicts);
}

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
