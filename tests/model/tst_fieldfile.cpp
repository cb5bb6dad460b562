// The comma/line field reader shared by the settings file and the entry files, and the
// atomic write both use. (Each file's own quoting is tested in tst_settings and tst_entries.)

#include "model/fieldfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarnivel;
using fieldfile::QuoteEscape;

Q_DECLARE_METATYPE(fieldfile::QuoteEscape)

class TestFieldFile : public QObject
{
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void writeReplacesWholeOrNotAtAll();
};

void TestFieldFile::fields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QuoteEscape>("escape");
    QTest::addColumn<QStringList>("fields");
    const auto both = [](const char *name, const QString &text, const QStringList &fields) {
        QTest::addRow("%s, single quotes", name) << text << QuoteEscape::None << fields;
        QTest::addRow("%s, doubled quotes", name) << text << QuoteEscape::Doubled << fields;
    };
    both("empty text", QString(), {});
    both("CR LF lines", QStringLiteral("a\r\nb\r\n"), {"a", "b"});
    both("LF and lone CR", QStringLiteral("a\nb\rc"), {"a", "b", "c"});
    both("comma splits", QStringLiteral("a,b\r\nc"), {"a", "b", "c"});
    both("empty lines are empty fields", QStringLiteral("\r\n\r\nx"), {"", "", "x"});
    both("blanks in front skipped, behind kept", QStringLiteral(" \ta \r\n\t b\t"), {"a ", "b\t"});
    both("a line of blanks is an empty field", QStringLiteral("  \r\nx"), {"", "x"});
    both("quotes keep commas, blanks and line ends", QStringLiteral("\" a,\r\nb \",c"), {" a,\r\nb ", "c"});
    both("text after the closing quote dropped", QStringLiteral("\"a\"junk,b"), {"a", "b"});
    both("unclosed quote runs to the end", QStringLiteral("\"a,b\r\nc"), {"a,b\r\nc"});
    both("code page 932 text", QStringLiteral("雑談,\"部屋\""), {"雑談", "部屋"});
    QTest::newRow("doubled quote is one quote")
        << QStringLiteral("\"a\"\"b\",c") << QuoteEscape::Doubled << QStringList{"a\"b", "c"};
    QTest::newRow("doubled quote ends the field")
        << QStringLiteral("\"a\"\"b\",c") << QuoteEscape::None << QStringList{"a", "c"};
    QTest::newRow("empty quoted field") << QStringLiteral("\"\",x") << QuoteEscape::Doubled << QStringList{"", "x"};
    QTest::newRow("quote doubled at the end of the text")
        << QStringLiteral("\"a\"\"") << QuoteEscape::Doubled << QStringList{"a\""};
}

void TestFieldFile::fields()
{
    QFETCH(QString, text);
    QFETCH(QuoteEscape, escape);
    QFETCH(QStringList, fields);
    fieldfile::FieldReader reader(text, escape);
    QStringList read;
    while (const auto field = reader.next())
        read << *field;
    QCOMPARE(read, fields);
    QVERIFY(!reader.next()); // stays at the end
}

void TestFieldFile::writeReplacesWholeOrNotAtAll()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("f.dat"));
    QVERIFY(fieldfile::writeFieldFile(path, fieldfile::fieldLines({"雑談", "\"a,b\""})));
    QCOMPARE(fieldfile::readFieldFile(path, 1024), QStringLiteral("雑談\r\n\"a,b\"\r\n"));
    // Read up to the limit, even inside a two-byte character.
    QCOMPARE(fieldfile::readFieldFile(path, 3), QStringLiteral("雑") + QChar(0xFFFD));
    QVERIFY(!fieldfile::readFieldFile(dir.filePath(QStringLiteral("missing.dat")), 1024));

    // A folder in the way: nothing is written and the failure is told.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
    QVERIFY(!fieldfile::writeFieldFile(dir.filePath(QStringLiteral("taken")), "x"));
    QVERIFY(!fieldfile::writeFieldFile(dir.filePath(QStringLiteral("no/such/f.dat")), "x"));
}

QTEST_GUILESS_MAIN(TestFieldFile)
#include "tst_fieldfile.moc"
