// The display name's limit of 16 bytes in code page 932, as an edit is fitted to it.

#include "model/namelimit.h"

#include <QtTest>

using namespace tarnivel;

namespace {

QString times(int n, const QString &s)
{
    return s.repeated(n);
}

} // namespace

class TestNameLimit : public QObject
{
    Q_OBJECT
private slots:
    void nameLimit_data();
    void nameLimit();
};

void TestNameLimit::nameLimit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("keptCursor");
    const QString a15 = times(15, "a"), a16 = times(16, "a"), a20 = times(20, "a");
    QTest::newRow("16th single-byte") << a15 << a16 << 16 << a16 << 16;
    QTest::newRow("17th single-byte") << a16 << a16 + "a" << 17 << a16 << 16;
    QTest::newRow("9th double-byte") << times(8, "名") << times(8, "名") + "前" << 9 << times(8, "名") << 8;
    QTest::newRow("double-byte after 15 single") << a15 << a15 + "あ" << 16 << a15 << 15;
    QTest::newRow("single after 7 double and 1 single")
        << times(7, "あ") + "a" << times(7, "あ") + "ab" << 9 << times(7, "あ") + "ab" << 9;
    QTest::newRow("half-width kana are single-byte") << a15 << a15 + "ｶ" << 16 << a15 + "ｶ" << 16;
    QTest::newRow("typed in the middle") << a16 << "aaa" + QString("x") + times(13, "a") << 4 << a16 << 3;
    QTest::newRow("paste keeps what fits") << "名前"
                                           << "名前" + times(16, "b") << 18 << "名前" + times(12, "b") << 14;
    QTest::newRow("paste stops at a double-byte")
        << times(14, "a") << times(14, "a") + "bあc" << 17 << times(14, "a") + "b" << 15;
    // A character outside the Basic Multilingual Plane is one character ('?' in code page 932),
    // never cut in half.
    QTest::newRow("non-BMP character at the limit") << a15 << a15 + "😀x" << 18 << a15 + "😀" << 17;
    QTest::newRow("non-BMP character past the limit") << a16 << a16 + "😀" << 18 << a16 << 16;
    QTest::newRow("paste over the selection") << "Noname" << times(20, "x") << 20 << times(16, "x") << 16;
    QTest::newRow("long name from the settings") << a20 << a20 << 0 << a20 << 0;
    QTest::newRow("typing into a long name") << a20 << a20 + "a" << 5 << a20 << 4;
    QTest::newRow("deleting from a long name") << a20 << times(19, "a") << 5 << times(19, "a") << 5;
}

void TestNameLimit::nameLimit()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, cursor);
    QFETCH(QString, kept);
    QFETCH(int, keptCursor);
    const namelimit::NameEdit fitted = namelimit::fitEdit(before, after, cursor);
    QCOMPARE(fitted.text, kept);
    QCOMPARE(fitted.cursor, keptCursor);
}

QTEST_GUILESS_MAIN(TestNameLimit)
#include "tst_namelimit.moc"
