// The settings file: reading hand-made, old, damaged and huge files, the exact bytes
// written, and saving that never loses the previous file.

#include "model/settingsfile.h"
#include "text/codepage932.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace tarnivel;

namespace {

// Items 1-17, then the applied left and top, joined with '|'.
QString dump(const Preferences &p, float left, float top)
{
    return QStringList{p.myName,
                       QString::number(p.textColor),
                       QString::number(p.backgroundColor),
                       p.logFontName,
                       QString::number(p.logFontSize),
                       QString::number(p.windowLeft),
                       QString::number(p.windowTop),
                       QString::number(p.windowWidth),
                       QString::number(p.windowHeight),
                       QString::number(int(p.windowState)),
                       p.connectAddress,
                       QString::number(p.connectSound),
                       QString::number(p.messageSound),
                       QString::number(p.alwaysOnTop),
                       p.quickServer,
                       p.addressServer,
                       QString::number(p.showPeers),
                       QString::number(left),
                       QString::number(top)}
        .join(u'|');
}

QString dump(const std::optional<SettingsRead> &read)
{
    return read ? dump(read->preferences, read->left, read->top) : QString();
}

QStringList baseLines()
{
    return {"Taro", "-2147483640 ", "-2147483643 ", "Font", " 12 ", " 100 ", " 200 ",       " 3000 ", " 4000 ",
            " 0 ",  "addr",         " 1 ",          " 1 ",  " 1 ",  "Quick", "http://a/ip", " 1 "};
}

QString fileOf(const QStringList &lines, const QString &lineEnd = "\r\n")
{
    return lines.join(lineEnd) + lineEnd;
}

QString withLine(int item, const QString &line)
{
    QStringList lines = baseLines();
    lines[item - 1] = line;
    return fileOf(lines);
}

// The base file's dump with some fields (1-based; 18, 19 = applied left, top) changed.
QString expect(std::initializer_list<std::pair<int, QString>> changes)
{
    QStringList fields = QString("Taro|-2147483640|-2147483643|Font|12|100|200|3000|4000|0|addr|"
                                 "1|1|1|Quick|http://a/ip|1|100|200")
                             .split(u'|');
    for (const auto &[item, value] : changes)
        fields[item - 1] = value;
    return fields.join(u'|');
}

Preferences richPreferences()
{
    return {.myName = "たるにべ太郎",
            .textColor = 0x004080FF,
            .backgroundColor = -2147483633,
            .logFontName = "ＭＳ 明朝",
            .logFontSize = 9,
            .windowLeft = -300,
            .windowTop = 450,
            .windowWidth = 9000,
            .windowHeight = 6000,
            .windowState = WindowState::Maximized,
            .connectAddress = "example.jp",
            .connectSound = true,
            .messageSound = true,
            .alwaysOnTop = true,
            .quickServer = "部屋",
            .addressServer = "http://example.jp/ip.cgi",
            .showPeers = 1};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void readingRules_data();
    void readingRules();
    void roundTrip();
    void defaultFileBytes();
    void truncatedAnywhere();
    void damagedFiles();
    void saveAndLoad();
    void failedSaveKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

void TestSettings::readingRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: rejected, the caller uses defaults

    QTest::newRow("CR LF") << fileOf(baseLines()) << expect({});
    QTest::newRow("LF") << fileOf(baseLines(), "\n") << expect({});
    QTest::newRow("lone CR") << fileOf(baseLines(), "\r") << expect({});
    QTest::newRow("no last line end, extra lines") << fileOf(baseLines()).chopped(2) + "\r\nx\r\n" << expect({});
    QTest::newRow("commas split items") << "Taro,-2147483640 , -2147483643\r\n" + fileOf(baseLines().mid(3))
                                        << expect({});
    QTest::newRow("empty name") << withLine(1, "") << expect({{1, ""}});
    QTest::newRow("quoted name") << withLine(1, "\" Taro, Jr \"") << expect({{1, " Taro, Jr "}});
    QTest::newRow("after quote dropped") << withLine(1, "  \"Taro\" san") << expect({{1, "Taro"}});
    QTest::newRow("leading blanks") << withLine(4, " \tMS  Gothic ") << expect({{4, "MS  Gothic "}});
    QTest::newRow("number blanks, sign") << withLine(5, "\t+12 \t") << expect({});
    QTest::newRow("half to even, down") << withLine(5, " 12.5 ") << expect({{5, "12"}});
    QTest::newRow("half to even, up") << withLine(5, " 13.5 ") << expect({{5, "14"}});
    QTest::newRow("negative half") << withLine(2, "-2.5 ") << expect({{2, "-2"}});
    QTest::newRow("left fraction") << withLine(6, " 1234.5 ") << expect({{6, "1234"}, {18, "1234.5"}});
    QTest::newRow("top fraction") << withLine(7, "-0.75 ") << expect({{7, "-1"}, {19, "-0.75"}});

    QTest::newRow("empty file") << ""
                                << "";
    QTest::newRow("ends after item 10") << fileOf(baseLines().mid(0, 10)) << "";
    for (const auto &[item, line] : std::initializer_list<std::pair<int, const char *>>{{2, "red"},
                                                                                        {2, " 2147483648 "},
                                                                                        {5, " 12pt"},
                                                                                        {5, " 1 2 "},
                                                                                        {8, "3e3"},
                                                                                        {8, ""},
                                                                                        {9, "-"},
                                                                                        {6, " 3000000000 "},
                                                                                        {10, " 3 "},
                                                                                        {10, "-1 "},
                                                                                        {1, "Taro,Jr"},
                                                                                        {1, "\"Taro"}})
        QTest::addRow("item %d '%s'", item, line) << withLine(item, line) << "";

    QTest::newRow("ends after item 11") << fileOf(baseLines().mid(0, 11))
                                        << expect({{12, "0"}, {13, "0"}, {14, "0"}, {15, ""}, {16, ""}, {17, "0"}});
    QTest::newRow("bad switch, goes on") << withLine(12, "yes") << expect({{12, "0"}});
    QTest::newRow("switch 2") << withLine(13, " 2 ") << expect({{13, "0"}});
    // The peer column reads a leading number; only 1 shows it.
    for (const auto &[line, value] : std::initializer_list<std::pair<const char *, const char *>>{
             {"1abc", "1"}, {" 1.4 ", "1"}, {"2abc", "0"}, {"x", "0"}, {" 3.5 ", "0"}, {" 99999 ", "0"}})
        QTest::addRow("peers '%s'", line) << withLine(17, line) << expect({{17, value}});
    QTest::newRow("unclosed quote in 15")
        << withLine(15, "\"Quick") << expect({{15, "Quick\r\nhttp://a/ip\r\n 1 \r\n"}, {16, ""}, {17, "0"}});
}

void TestSettings::readingRules()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(parseSettings(text)), expected);
}

void TestSettings::roundTrip()
{
    struct Case
    {
        Preferences written;
        float left, top;
        Preferences read;
        float readLeft, readTop;
    };
    QList<Case> cases{{Preferences{}, 0, 0, Preferences{}, 0, 0},
                      {richPreferences(), -300, 450, richPreferences(), -300, 450}};

    Case minimised{richPreferences(), 1234.5f, -0.25f, {}, 1234.5f, -0.25f};
    minimised.written.windowState = WindowState::Minimized;
    minimised.written.showPeers = 0;
    minimised.read = minimised.written;
    minimised.read.windowLeft = 1234;
    minimised.read.windowTop = 0;
    cases << minimised;

    Case texts{{}, 1, 2, {}, 1, 2};
    texts.written.myName = " Taro, Jr ";
    texts.written.logFontName = " leading blank";
    texts.written.connectAddress = "trailing blank ";
    texts.written.quickServer = "\tBob \"X\"";
    texts.written.addressServer = "a\"b";
    texts.written.windowLeft = 1;
    texts.written.windowTop = 2;
    texts.read = texts.written;
    texts.read.quickServer = "\tBob 'X'"; // quoted text cannot hold a double quote
    cases << texts;

    Case mended{{}, 0, 0, {}, 0, 0};
    mended.written.myName = "Bob \"X\", Jr";
    mended.written.connectAddress = "\"Room\" one";
    mended.written.addressServer = "a\r\nb";
    mended.read = mended.written;
    mended.read.myName = "Bob 'X', Jr";
    mended.read.connectAddress = "'Room' one";
    mended.read.addressServer = "a  b";
    cases << mended;

    Preferences stored; // a live position that cannot be stored gives way to the stored one
    stored.windowLeft = 500;
    stored.windowTop = 600;
    cases << Case{stored, std::numeric_limits<float>::quiet_NaN(), 1e20f, stored, 500, 600};

    Preferences extreme;
    extreme.textColor = extreme.windowLeft = INT_MIN;
    extreme.backgroundColor = INT_MAX;
    extreme.windowTop = 2147483520; // the largest float below 2^31
    extreme.showPeers = -32768;
    cases << Case{extreme, -2147483648.f, 2147483520.f, extreme, -2147483648.f, 2147483520.f};

    for (const Case &c : cases) {
        const QByteArray bytes = serializeSettings(c.written, c.left, c.top);
        QCOMPARE(int(bytes.count('\n')), 17);
        QCOMPARE(int(bytes.count("\r\n")), 17);
        QCOMPARE(dump(parseSettings(cp932::decode(bytes))), dump(c.read, c.readLeft, c.readTop));
    }
}

void TestSettings::defaultFileBytes()
{
    const QByteArray font = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e"; // ＭＳ Ｐゴシック
    QCOMPARE(serializeSettings(Preferences{}, 1234.f, -15.f),
             "Noname\r\n-2147483640 \r\n-2147483643 \r\n" + font
                 + "\r\n 12 \r\n 1234 \r\n-15 \r\n 0 \r\n 0 \r\n 0 \r\n\r\n 0 \r\n 0 \r\n 0 \r\n\r\n\r\n 0 \r\n");
    const QList<QByteArray> lines = serializeSettings(richPreferences(), 1234.5f, 0.f).split('\n');
    QCOMPARE(lines.mid(5, 5), (QList<QByteArray>{" 1234.5 \r", " 0 \r", " 9000 \r", " 6000 \r", " 2 \r"}));
    QCOMPARE(lines.mid(13, 4),
             (QList<QByteArray>{" 1 \r", "\x95\x94\x89\xae\r", "http://example.jp/ip.cgi\r", " 1 \r"}));
}

// A file cut at any byte loads without harm; every line that survived whole reads as written.
void TestSettings::truncatedAnywhere()
{
    Preferences written = richPreferences();
    written.windowLeft = 78; // 77.5 as an integer
    written.windowTop = 88;
    const QByteArray full = serializeSettings(written, 77.5f, 88.f);
    const QStringList original = dump(written, 77.5f, 88.f).split(u'|');
    const QStringList defaults = dump(Preferences{}, 0, 0).split(u'|');
    for (int cut = 0; cut <= full.size(); ++cut) {
        const QByteArray part = full.left(cut);
        const int wholeLines = int(part.count("\r\n"));
        const auto read = parseSettings(cp932::decode(part));
        // Item 11 is text: any part of it is an item.
        const bool expectRead = wholeLines > 10 || (wholeLines == 10 && !part.endsWith('\n'));
        QVERIFY2(bool(read) == expectRead, qPrintable(QString("cut at %1").arg(cut)));
        if (!read)
            continue;
        const QStringList got = dump(read).split(u'|');
        for (int item = 0; item < 17; ++item) {
            if (item < wholeLines)
                QCOMPARE(got[item], original[item]);
            else if (part.endsWith('\n')) // cut at a line boundary: the rest keeps its defaults
                QCOMPARE(got[item], defaults[item]);
        }
    }
}

void TestSettings::damagedFiles()
{
    const QString path = m_dir.filePath("damaged.dat");
    QRandomGenerator random(20240607);
    for (int round = 0; round < 40; ++round) {
        QByteArray noise(int(random.bounded(1, 70000)), Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        QVERIFY(writeFile(path, noise));
        QVERIFY2(!loadSettingsFile(path), qPrintable(QString("round %1").arg(round)));
    }
    const QByteArray valid = fileOf(baseLines()).toLatin1();
    QVERIFY(writeFile(path, valid + QByteArray(8 << 20, 'x') + "\r\n")); // several MB after the items
    QCOMPARE(dump(loadSettingsFile(path)), expect({}));
    QVERIFY(writeFile(path, QByteArray(6 << 20, '\x88') + "\r\n" + valid)); // a name of several MB
    QVERIFY(!loadSettingsFile(path));
    QVERIFY(writeFile(path, valid.left(40) + QByteArray(1000, '\0') + valid.mid(40)));
    QVERIFY(!loadSettingsFile(path));
    QVERIFY(!loadSettingsFile(m_dir.filePath("missing.dat")));
    QVERIFY(!loadSettingsFile(m_dir.path()));
#ifdef Q_OS_LINUX
    QVERIFY(!loadSettingsFile("/dev/zero")); // endless input is read only so far
#endif
}

void TestSettings::saveAndLoad()
{
    const QString path = m_dir.filePath(SettingsFileName);
    QVERIFY(writeFile(path, QByteArray(5000, 'o'))); // a longer old file is replaced whole
    const Preferences p = richPreferences();
    QVERIFY(saveSettingsFile(path, p, -300.f, 450.f));
    QCOMPARE(readFile(path), serializeSettings(p, -300.f, 450.f));
    QCOMPARE(dump(loadSettingsFile(path)), dump(p, -300.f, 450.f));

    Preferences nameless = p;
    nameless.myName.clear();
    QVERIFY(!saveSettingsFile(path, nameless, 0, 0));
    QCOMPARE(readFile(path), serializeSettings(p, -300.f, 450.f));
    QVERIFY(!saveSettingsFile(m_dir.filePath("nameless.dat"), nameless, 0, 0));
    QVERIFY(!QFile::exists(m_dir.filePath("nameless.dat")));
}

void TestSettings::failedSaveKeepsOldFile()
{
    Preferences p = richPreferences();
    const QString folderInTheWay = m_dir.filePath("folder.dat");
    QVERIFY(QDir().mkpath(folderInTheWay + "/inside"));
    QVERIFY(!saveSettingsFile(folderInTheWay, p, 0, 0));
    QVERIFY(QFileInfo(folderInTheWay + "/inside").isDir());

#ifdef Q_OS_UNIX
    // Writes that stop half-way (as on a full disk): the file size limit binds even root.
    QTemporaryDir dir;
    const QString path = dir.filePath(SettingsFileName);
    const QByteArray old = serializeSettings(p, 1, 2);
    QVERIFY(writeFile(path, old));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    p.myName = QString(2000, u'名'); // goes through the write buffer
    const bool savedBuffered = saveSettingsFile(path, p, 0, 0);
    p.myName = QString(20000, u'名'); // bypasses it
    const bool savedDirect = saveSettingsFile(path, p, 0, 0);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!savedBuffered);
    QVERIFY(!savedDirect);
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{SettingsFileName});
#endif
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
