// Directory entries as files, the name check, and the bytes of the room requests.
// (How replies are read is tested against servers in tst_rooms.)

#include "directory/entryfile.h"
#include "directory/entryname.h"
#include "directory/roomrequest.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarnivel;

class TestEntries : public QObject
{
    Q_OBJECT
private slots:
    void nameCheck_data();
    void nameCheck();
    void writtenBytesReadBackWhole_data();
    void writtenBytesReadBackWhole();
    void olderFilesReadAsBefore_data();
    void olderFilesReadAsBefore();
    void requestBytes_data();
    void requestBytes();
    void listedEntries();
};

void TestEntries::nameCheck_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    for (const QChar c : QStringLiteral("\\/:,;*?\"<>|."))
        QTest::addRow("refuses %s", qPrintable(QString(c))) << QStringLiteral("ab") + c + QStringLiteral("cd") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("full-width full stop") << QStringLiteral("雑談．ｊｐ") << true;
    QTest::newRow("full-width forms") << QStringLiteral("＼／：，；＊？＂＜＞｜") << true;
    QTest::newRow("blanks and symbols") << QStringLiteral(" a b-[1]&+ ") << true;
}

void TestEntries::nameCheck()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(validEntryName(name), valid);
}

void TestEntries::writtenBytesReadBackWhole_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("room");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("back"); // the fields read back; empty: as written
    const auto row = [](const char *name, const QString &url, const QString &room, const QByteArray &bytes,
                        const QStringList &back = {}) {
        QTest::newRow(name) << url << room << bytes << back;
    };
    row("plain", "http://example.jp/cgi-bin/room.cgi", "lobby", "http://example.jp/cgi-bin/room.cgi\r\nlobby\r\n");
    row("code page 932", "http://例え.jp/", "雑談", "http://\x97\xe1\x82\xa6.jp/\r\n\x8e\x47\x92\x6b\r\n");
    row("empty fields", "", "", "\r\n\r\n");
    row("comma in the URL", "http://h/a,b?x", "r", "\"http://h/a,b?x\"\r\nr\r\n");
    row("double quote inside the URL", "http://h/\"q\"", "r", "http://h/\"q\"\r\nr\r\n");
    row("starts with a double quote", "\"http://h/", "r", "\"\"\"http://h/\"\r\nr\r\n");
    row("line break in the URL", "http://h/\r\nx", "r", "\"http://h/\r\nx\"\r\nr\r\n");
    // Every reader skips blanks in front, so they are not kept: old and new copies read alike.
    row("blanks in front dropped", " http://h/", " \tabc", "http://h/\r\nabc\r\n", {"http://h/", "abc"});
    row("blanks in front of a double quote", "  \"q", "r", "\"\"\"q\"\r\nr\r\n", {"\"q", "r"});
    row("blanks in front of a comma", "\th,i", "r", "\"h,i\"\r\nr\r\n", {"h,i", "r"});
    row("only blanks", "  ", "r", "\r\nr\r\n", {"", "r"});
    row("blank behind", "http://h/ ", "r ", "http://h/ \r\nr \r\n");
}

void TestEntries::writtenBytesReadBackWhole()
{
    QFETCH(QString, url);
    QFETCH(QString, room);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, back);
    const DirectoryEntry expected = back.isEmpty() ? DirectoryEntry{url, room} : DirectoryEntry{back[0], back[1]};
    QCOMPARE(serializeEntry({url, room}), bytes);

    QTemporaryDir dir;
    const QString path = entryFilePath(dir.path(), QStringLiteral("エントリ"));
    QVERIFY(writeEntryFile(path, {url, room}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    QCOMPARE(readEntryFile(path), std::optional<DirectoryEntry>(expected));
}

void TestEntries::olderFilesReadAsBefore_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields"); // empty: the file is refused
    QTest::newRow("two lines") << QByteArray("http://h/\r\nlobby\r\n") << QStringList{"http://h/", "lobby"};
    QTest::newRow("line feeds, no end") << QByteArray("http://h/\nlobby") << QStringList{"http://h/", "lobby"};
    QTest::newRow("more lines ignored") << QByteArray("u\r\nr\r\nx\r\n") << QStringList{"u", "r"};
    QTest::newRow("comma splits an unquoted URL")
        << QByteArray("http://h/a,b\r\nlobby\r\n") << QStringList{"http://h/a", "b"};
    QTest::newRow("blanks in front skipped")
        << QByteArray("  http://h/\r\n\t lobby\r\n") << QStringList{"http://h/", "lobby"};
    QTest::newRow("quoted, rest dropped")
        << QByteArray("\"http://h/\"x,y\r\nlobby\r\n") << QStringList{"http://h/", "y"};
    QTest::newRow("one line") << QByteArray("http://h/\r\n") << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
}

void TestEntries::olderFilesReadAsBefore()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    const std::optional<DirectoryEntry> entry = parseEntry(bytes);
    QCOMPARE(entry.has_value(), !fields.isEmpty());
    if (entry)
        QCOMPARE((QStringList{entry->url, entry->room}), fields);
}

void TestEntries::requestBytes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("room");
    QTest::addColumn<QByteArray>("enter");
    QTest::newRow("as typed") << "http://h/r.cgi"
                              << "a&b?c+d%41=e" << QByteArray("http://h/r.cgi?a&b?c+d%41=e");
    QTest::newRow("blank") << "http://h/"
                           << "two words" << QByteArray("http://h/?two%20words");
    QTest::newRow("code page 932") << "http://h/"
                                   << "雑談ソフト" << QByteArray("http://h/?%8E%47%92%6B%83%5C%83%74%83%67");
    QTest::newRow("unsafe ASCII") << "http://h/"
                                  << "#\"<>\\^`{|}" << QByteArray("http://h/?%23%22%3C%3E%5C%5E%60%7B%7C%7D");
    QTest::newRow("no code page 932 form") << "http://h/"
                                           << "a😀b" << QByteArray("http://h/?a%3Fb");
}

void TestEntries::requestBytes()
{
    QFETCH(QString, url);
    QFETCH(QString, room);
    QFETCH(QByteArray, enter);
    QCOMPARE(roomRequestUrl(url, room, RoomRequest::Enter), enter);
    QCOMPARE(roomRequestUrl(url, room, RoomRequest::Withdraw), enter + "+quit");
}

// Only ordinary files named <entry>.tsd are entries, sorted by name.
void TestEntries::listedEntries()
{
    QTemporaryDir dir;
    for (const QString &file : {QStringLiteral("b.tsd"), QStringLiteral("a.tsd"), QStringLiteral("雑談.tsd"),
                                QStringLiteral(".tsd"), QStringLiteral("c.tsd.bak"), QStringLiteral("d.txt")})
        QVERIFY(QFile(dir.filePath(file)).open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.tsd")));
    QCOMPARE(listEntries(dir.path()), (QStringList{"a", "b", QStringLiteral("雑談")}));
}

QTEST_APPLESS_MAIN(TestEntries)
#include "tst_entries.moc"
