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
    QTest::newRow("plain") << "http://example.jp/cgi-bin/room.cgi" << "lobby"
                           << QByteArray("http://example.jp/cgi-bin/room.cgi\r\nlobby\r\n");
    QTest::newRow("code page 932") << "http://例え.jp/" << "雑談" << QByteArray("http://\x97\xe1\x82\xa6.jp/\r\n\x8e\x47\x92\x6b\r\n");
    QTest::newRow("empty fields") << "" << "" << QByteArray("\r\n\r\n");
    QTest::newRow("comma in the URL") << "http://h/a,b?x" << "r" << QByteArray("\"http://h/a,b?x\"\r\nr\r\n");
    QTest::newRow("double quote in the URL") << "http://h/\"q\"" << "r" << QByteArray("\"http://h/\"\"q\"\"\"\r\nr\r\n");
    QTest::newRow("starts with a double quote") << "\"http://h/" << "r" << QByteArray("\"\"\"http://h/\"\r\nr\r\n");
    QTest::newRow("blank in front") << " http://h/" << "\tr" << QByteArray("\" http://h/\"\r\n\"\tr\"\r\n");
    QTest::newRow("blank behind") << "http://h/ " << "r " << QByteArray("http://h/ \r\nr \r\n");
}

void TestEntries::writtenBytesReadBackWhole()
{
    QFETCH(QString, url);
    QFETCH(QString, room);
    QFETCH(QByteArray, bytes);
    QCOMPARE(serializeEntry({url, room}), bytes);

    QTemporaryDir dir;
    const QString path = entryFilePath(dir.path(), QStringLiteral("エントリ"));
    QVERIFY(writeEntryFile(path, {url, room}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    QCOMPARE(readEntryFile(path), std::optional<DirectoryEntry>(DirectoryEntry{url, room}));
}

void TestEntries::olderFilesReadAsBefore_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields"); // empty: the file is refused
    QTest::newRow("two lines") << QByteArray("http://h/\r\nlobby\r\n") << QStringList{"http://h/", "lobby"};
    QTest::newRow("line feeds, no end") << QByteArray("http://h/\nlobby") << QStringList{"http://h/", "lobby"};
    QTest::newRow("more lines ignored") << QByteArray("u\r\nr\r\nx\r\n") << QStringList{"u", "r"};
    QTest::newRow("comma splits an unquoted URL") << QByteArray("http://h/a,b\r\nlobby\r\n") << QStringList{"http://h/a", "b"};
    QTest::newRow("blanks in front skipped") << QByteArray("  http://h/\r\n\t lobby\r\n") << QStringList{"http://h/", "lobby"};
    QTest::newRow("quoted, rest dropped") << QByteArray("\"http://h/\"x,y\r\nlobby\r\n") << QStringList{"http://h/", "y"};
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
    QTest::newRow("as typed") << "http://h/r.cgi" << "a&b?c+d%41=e" << QByteArray("http://h/r.cgi?a&b?c+d%41=e");
    QTest::newRow("blank") << "http://h/" << "two words" << QByteArray("http://h/?two%20words");
    QTest::newRow("code page 932") << "http://h/" << "雑談ソフト" << QByteArray("http://h/?%8E%47%92%6B%83%5C%83%74%83%67");
    QTest::newRow("unsafe ASCII") << "http://h/" << "#\"<>\\^`{|}" << QByteArray("http://h/?%23%22%3C%3E%5C%5E%60%7B%7C%7D");
    QTest::newRow("no code page 932 form") << "http://h/" << "a😀b" << QByteArray("http://h/?a%3Fb");
}

void TestEntries::requestBytes()
{
    QFETCH(QString, url);
    QFETCH(QString, room);
    QFETCH(QByteArray, enter);
    QCOMPARE(roomRequestUrl(url, room, RoomRequest::Enter), enter);
    QCOMPARE(roomRequestUrl(url, room, RoomRequest::Withdraw), enter + "+quit");
}

QTEST_APPLESS_MAIN(TestEntries)
#include "tst_entries.moc"
