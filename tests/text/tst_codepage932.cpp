// Code page 932 conversion: the Windows table, control bytes untouched, nothing lost on bad input.

#include "testsupport.h"
#include "text/codepage932.h"

#include <QTest>

using namespace tarnivel;
using tarnivel::test::bytes;

namespace {

const QChar Bad(0xFFFD);

} // namespace

class TestCodePage932 : public QObject
{
    Q_OBJECT

private slots:
    void bothWays_data();
    void bothWays();
    void everySingleByteRoundTrips();
    void everyDoubleByteDecodesToOneCharacter();
    void lookAlikesEncodeToWindowsBytes_data();
    void lookAlikesEncodeToWindowsBytes();
    void unrepresentableBecomesQuestionMark_data();
    void unrepresentableBecomesQuestionMark();
    void invalidBytesKeepTheRest_data();
    void invalidBytesKeepTheRest();
    void longMixedLineRoundTrips();
};

void TestCodePage932::bothWays_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("markers") << QStringLiteral("\x01\x02\x03\x04") << bytes({1, 2, 3, 4});
    QTest::newRow("nul inside") << QString(QChar(0)) + u'a' << bytes({0, 'a'});
    QTest::newRow("controls") << QStringLiteral("\x1A\x1C\x7F\r\n") << bytes({0x1A, 0x1C, 0x7F, 0x0D, 0x0A});
    QTest::newRow("backslash and tilde stay ASCII") << QStringLiteral("\\~") << bytes({0x5C, 0x7E});
    QTest::newRow("wave dash") << QStringLiteral("～") << bytes({0x81, 0x60});
    QTest::newRow("fullwidth reverse solidus") << QStringLiteral("＼") << bytes({0x81, 0x5F});
    QTest::newRow("fullwidth hyphen-minus") << QStringLiteral("－") << bytes({0x81, 0x7C});
    QTest::newRow("parallel to") << QStringLiteral("∥") << bytes({0x81, 0x61});
    QTest::newRow("fullwidth not sign") << QStringLiteral("￢") << bytes({0x81, 0xCA});
    QTest::newRow("NEC row 13 circled one") << QStringLiteral("①") << bytes({0x87, 0x40});
    QTest::newRow("NEC row 13 roman one") << QStringLiteral("Ⅰ") << bytes({0x87, 0x54});
    QTest::newRow("IBM small roman one") << QStringLiteral("ⅰ") << bytes({0xFA, 0x40});
    QTest::newRow("IBM fullwidth apostrophe") << QStringLiteral("＇") << bytes({0xFA, 0x56});
    QTest::newRow("half-width katakana") << QStringLiteral("｡ｱﾟ") << bytes({0xA1, 0xB1, 0xDF});
    QTest::newRow("user-defined area") << QString(QChar(0xE000)) << bytes({0xF0, 0x40});
    QTest::newRow("hiragana name") << QStringLiteral("たろう") << bytes({0x82, 0xBD, 0x82, 0xEB, 0x82, 0xA4});
    QTest::newRow("private separator") << QStringLiteral("（秘）: ")
                                       << bytes({0x81, 0x69, 0x94, 0xE9, 0x81, 0x6A, 0x3A, 0x20});
    QTest::newRow("kanji with 0x5C trail byte") << QStringLiteral("表") << bytes({0x95, 0x5C});
    QTest::newRow("mixed") << QStringLiteral("a表\r\nｱ") << bytes({'a', 0x95, 0x5C, 0x0D, 0x0A, 0xB1});
}

void TestCodePage932::bothWays()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(cp932::encode(text), encoded);
    QCOMPARE(cp932::decode(encoded), text);
}

void TestCodePage932::everySingleByteRoundTrips()
{
    // ASCII and every control byte keep their code; 0xA1..0xDF are half-width katakana.
    for (int b = 0; b < 0x80; ++b) {
        const QByteArray one(1, char(b));
        QCOMPARE(cp932::decode(one), QString(QChar(b)));
        QCOMPARE(cp932::encode(QString(QChar(b))), one);
    }
    for (int b = 0xA1; b <= 0xDF; ++b) {
        const QByteArray one(1, char(b));
        QCOMPARE(cp932::decode(one), QString(QChar(0xFF61 + b - 0xA1)));
        QCOMPARE(cp932::encode(cp932::decode(one)), one);
    }
}

void TestCodePage932::everyDoubleByteDecodesToOneCharacter()
{
    // Mapped pairs give one character that encodes back to a pair meaning the same
    // (duplicates such as NEC-selected IBM characters come back as their preferred bytes);
    // unmapped pairs give exactly one U+FFFD.
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const QByteArray pair = bytes({lead, trail});
            const QString text = cp932::decode(pair);
            QVERIFY2(text.size() == 1, pair.toHex().constData());
            if (text.front() == Bad)
                continue;
            ++mapped;
            const QByteArray back = cp932::encode(text);
            QVERIFY2(back.size() == 2, pair.toHex().constData());
            QVERIFY2(cp932::decode(back) == text, pair.toHex().constData());
        }
    }
    // Windows-31J: 7,724 characters plus 1,880 user-defined positions. A plain Shift_JIS table
    // without the NEC and IBM rows has far fewer.
    QCOMPARE(mapped, 7724 + 1880);
}

void TestCodePage932::lookAlikesEncodeToWindowsBytes_data()
{
    // Characters Windows writes with the byte of their look-alike; reading gives the look-alike.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("yen sign") << QStringLiteral("¥") << bytes({0x5C});
    QTest::newRow("overline") << QStringLiteral("‾") << bytes({0x7E});
    QTest::newRow("JIS wave dash") << QStringLiteral("〜") << bytes({0x81, 0x60});
    QTest::newRow("minus sign") << QStringLiteral("−") << bytes({0x81, 0x7C});
    QTest::newRow("double vertical line") << QStringLiteral("‖") << bytes({0x81, 0x61});
    QTest::newRow("em dash") << QStringLiteral("—") << bytes({0x81, 0x5C});
    QTest::newRow("NEC-selected IBM kanji goes to IBM row") << QStringLiteral("纊") << bytes({0xFA, 0x5C});
}

void TestCodePage932::lookAlikesEncodeToWindowsBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(cp932::encode(text), encoded);
}

void TestCodePage932::unrepresentableBecomesQuestionMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("encoded");

    const QChar high(0xD83D);
    const QChar low(0xDE00);
    QTest::newRow("e acute") << QStringLiteral("café") << QByteArray("caf?");
    QTest::newRow("hangul") << QStringLiteral("한국어") << QByteArray("???");
    QTest::newRow("broken bar") << QStringLiteral("¦") << QByteArray("?");
    QTest::newRow("emoji is one character") << QStringLiteral("a😀b") << QByteArray("a?b");
    QTest::newRow("two emoji") << QStringLiteral("😀😀") << QByteArray("??");
    QTest::newRow("lone high surrogate") << QString(u'a') + high + u'b' << QByteArray("a?b");
    QTest::newRow("lone low surrogate") << QString(u'a') + low + u'b' << QByteArray("a?b");
    QTest::newRow("high surrogate at end") << QString(u'a') + high << QByteArray("a?");
    QTest::newRow("reversed pair") << QString(low) + high << QByteArray("??");
    QTest::newRow("byte order mark is a character") << QString(QChar(0xFEFF)) + u'x' << QByteArray("?x");
    QTest::newRow("line end survives") << QStringLiteral("名😀\r\n") << bytes({0x96, 0xBC, '?', 0x0D, 0x0A});
}

void TestCodePage932::unrepresentableBecomesQuestionMark()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(cp932::encode(text), encoded);
}

void TestCodePage932::invalidBytesKeepTheRest_data()
{
    // One U+FFFD per bad byte, or per lead byte with a proper trail byte that maps to nothing.
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("text");

    QTest::newRow("lead byte alone") << bytes({0x81}) << QString(Bad);
    QTest::newRow("lead byte at end") << bytes({'a', 'b', 0x95}) << QStringLiteral("ab") + Bad;
    QTest::newRow("lead then blank") << bytes({0x81, 0x20, 'x'}) << Bad + QStringLiteral(" x");
    QTest::newRow("lead then CR LF") << bytes({'a', 0x81, 0x0D, 0x0A}) << QString(u'a') + Bad + QStringLiteral("\r\n");
    QTest::newRow("lead then DEL") << bytes({0x81, 0x7F}) << QString(Bad) + QChar(0x7F);
    QTest::newRow("lead then marker") << bytes({0xE0, 0x03, 'x'}) << Bad + QStringLiteral("\x03x");
    QTest::newRow("unmapped pair counts once") << bytes({0x85, 0x40, 'x'}) << Bad + QStringLiteral("x");
    QTest::newRow("unmapped pair in row EB") << bytes({0xEB, 0x40}) << QString(Bad);
    QTest::newRow("0x80") << bytes({'a', 0x80, 'b'}) << QString(u'a') + Bad + u'b';
    QTest::newRow("0xA0") << bytes({0xA0, 0xB1}) << Bad + QStringLiteral("ｱ");
    QTest::newRow("0xFD 0xFE 0xFF") << bytes({0xFD, 0xFE, 0xFF}) << QString(3, Bad);
    QTest::newRow("bad then kanji") << bytes({0xFF, 0x95, 0x5C}) << Bad + QStringLiteral("表");
    QTest::newRow("many bad bytes") << QByteArray(200, char(0xFF)) + "ok" << QString(200, Bad) + QStringLiteral("ok");
}

void TestCodePage932::invalidBytesKeepTheRest()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QString, text);
    QCOMPARE(cp932::decode(encoded), text);
}

void TestCodePage932::longMixedLineRoundTrips()
{
    const QString pieces[] = {QStringLiteral("あ"), QStringLiteral("ｱ"),  QStringLiteral("a"),
                              QStringLiteral("①"),  QStringLiteral("～"), QStringLiteral("\x01")};
    const QByteArray pieceBytes[] = {bytes({0x82, 0xA0}), bytes({0xB1}),       bytes({'a'}),
                                     bytes({0x87, 0x40}), bytes({0x81, 0x60}), bytes({0x01})};
    QString line;
    QByteArray expected;
    for (int i = 0; i < 1000; ++i) {
        line += pieces[i % 6];
        expected += pieceBytes[i % 6];
    }
    line += QStringLiteral("\r\n");
    expected += "\r\n";
    QCOMPARE(cp932::encode(line), expected);
    QCOMPARE(cp932::decode(expected), line);
}

QTEST_GUILESS_MAIN(TestCodePage932)
#include "tst_codepage932.moc"
