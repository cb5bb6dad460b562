// The settings file: what it reads from hand-made, old, damaged and huge files, what it
// writes, and that saving never loses the previous file.

#include "app/settingsfile.h"
#include "platform/codepage932.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace tarnivel;

Q_DECLARE_METATYPE(tarnivel::Preferences)

namespace {

// Items 1-17, then the applied left and top.
QStringList fieldsOf(const Preferences &p, float left, float top)
{
    return {p.myName, QString::number(p.textColor), QString::number(p.backgroundColor),
            p.logFontName, QString::number(p.logFontSize), QString::number(p.windowLeft),
            QString::number(p.windowTop), QString::number(p.windowWidth),
            QString::number(p.windowHeight), QString::number(int(p.windowState)),
            p.connectAddress, QString::number(p.connectSound), QString::number(p.messageSound),
            QString::number(p.alwaysOnTop), p.quickServer, p.addressServer,
            QString::number(p.showPeers), QString::number(left, 'g', 9),
            QString::number(top, 'g', 9)};
}

QString dump(const std::optional<SettingsRead> &read)
{
    return read ? fieldsOf(read->preferences, read->left, read->top).join(u'|') : QString();
}

QStringList baseLines()
{
    return {"Taro", "-2147483640 ", "-2147483643 ", "Font", " 12 ", " 100 ", " 200 ",
            " 3000 ", " 4000 ", " 0 ", "addr", " 1 ", " 1 ", " 1 ", "Quick", "http://a/ip", " 1 "};
}

const QStringList baseFields = QString("Taro|-2147483640|-2147483643|Font|12|100|200|3000|4000|0|"
                                       "addr|1|1|1|Quick|http://a/ip|1|100|200").split(u'|');

QString fileOf(const QStringList &lines, const QString &lineEnd = "\r\n")
{
    QString text;
    for (const QString &line : lines)
        text += line + lineEnd;
    return text;
}

QString withLine(int item, const QString &line)
{
    QStringList lines = baseLines();
    lines[item - 1] = line;
    return fileOf(lines);
}

QString expect(std::initializer_list<std::pair<int, QString>> changes)
{
    QStringList fields = baseFields;
    for (const auto &[item, value] : changes)
        fields[item - 1] = value;
    return fields.join(u'|');
}

const QString tailDefaults = expect({{12, "0"}, {13, "0"}, {14, "0"}, {15, ""}, {16, ""}, {17, "0"}});

Preferences richPreferences()
{
    Preferences p;
    p.myName = QStringLiteral("たるにべ太郎");
    p.textColor = 0x004080FF;
    p.backgroundColor = -2147483633;
    p.logFontName = QStringLiteral("ＭＳ 明朝");
    p.logFontSize = 9;
    p.windowLeft = -300;
    p.windowTop = 450;
    p.windowWidth = 9000;
    p.windowHeight = 6000;
    p.windowState = WindowState::Maximized;
    p.connectAddress = QStringLiteral("example.jp");
    p.connectSound = p.messageSound = p.alwaysOnTop = true;
    p.quickServer = QStringLiteral("部屋");
    p.addressServer = QStringLiteral("http://example.jp/ip.cgi");
    p.showPeers = 1;
    return p;
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
    void roundTrip_data();
    void roundTrip();
    void defaultFileBytes();
    void truncatedAnywhere();
    void damagedFiles();
    void missingOrUnreadable();
    void saveWritesWhatLoads();
    void emptyNameWritesNothing();
    void failedSaveKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

void TestSettings::readingRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: the file is rejected

    const QString base = fileOf(baseLines());
    QTest::newRow("CR LF") << base << expect({});
    QTest::newRow("LF only") << fileOf(baseLines(), "\n") << expect({});
    QTest::newRow("lone CR") << fileOf(baseLines(), "\r") << expect({});
    QTest::newRow("no final line end") << base.chopped(2) << expect({});
    QTest::newRow("extra lines ignored") << base + "junk\r\n,,,\r\n" << expect({});
    QTest::newRow("commas split items")
            << "Taro,-2147483640 , -2147483643\r\n" + fileOf(baseLines().mid(3)) << expect({});
    QTest::newRow("empty name") << withLine(1, "") << expect({{1, ""}});
    QTest::newRow("quoted name") << withLine(1, "\" Taro, Jr \"") << expect({{1, " Taro, Jr "}});
    QTest::newRow("after the quote dropped") << withLine(1, "  \"Taro\" san") << expect({{1, "Taro"}});
    QTest::newRow("unquoted blanks") << withLine(4, "  MS  Gothic ") << expect({{4, "MS  Gothic "}});
    QTest::newRow("blanks and tabs around number") << withLine(5, "\t 12 \t") << expect({});
    QTest::newRow("plus sign") << withLine(5, "+12") << expect({});
    QTest::newRow("quoted number") << withLine(5, "\"12\"") << expect({});
    QTest::newRow("half rounds down to even") << withLine(5, " 12.5 ") << expect({{5, "12"}});
    QTest::newRow("half rounds up to even") << withLine(5, " 13.5 ") << expect({{5, "14"}});
    QTest::newRow("negative half") << withLine(2, "-2.5 ") << expect({{2, "-2"}});
    QTest::newRow("lowest colour") << withLine(3, "-2147483648 ") << expect({{3, "-2147483648"}});
    QTest::newRow("left with fraction") << withLine(6, " 1234.5 ") << expect({{6, "1234"}, {18, "1234.5"}});
    QTest::newRow("top with fraction") << withLine(7, "-0.75 ") << expect({{7, "-1"}, {19, "-0.75"}});
    QTest::newRow("minimised") << withLine(10, " 1 ") << expect({{10, "1"}});
    QTest::newRow("maximised") << withLine(10, " 2 ") << expect({{10, "2"}});

    QTest::newRow("empty file") << "" << "";
    QTest::newRow("only a name") << "Taro\r\n" << "";
    QTest::newRow("ends after item 10") << fileOf(baseLines().mid(0, 10)) << "";
    QTest::newRow("colour not a number") << withLine(2, "red") << "";
    QTest::newRow("colour too big") << withLine(2, " 2147483648 ") << "";
    QTest::newRow("trailing text") << withLine(5, " 12pt") << "";
    QTest::newRow("two numbers") << withLine(5, " 1 2 ") << "";
    QTest::newRow("exponent") << withLine(8, "3e3") << "";
    QTest::newRow("empty number") << withLine(8, "") << "";
    QTest::newRow("lone sign") << withLine(9, "-") << "";
    QTest::newRow("left beyond int32") << withLine(6, " 3000000000 ") << "";
    QTest::newRow("state 3") << withLine(10, " 3 ") << "";
    QTest::newRow("state -1") << withLine(10, "-1 ") << "";
    QTest::newRow("old name with comma") << withLine(1, "Taro,Jr") << "";
    QTest::newRow("unclosed quote in name") << withLine(1, "\"Taro") << "";

    QTest::newRow("ends after item 11") << fileOf(baseLines().mid(0, 11)) << tailDefaults;
    QTest::newRow("ends after item 14")
            << fileOf(baseLines().mid(0, 14)) << expect({{15, ""}, {16, ""}, {17, "0"}});
    QTest::newRow("bad switch, reading goes on") << withLine(12, "yes") << expect({{12, "0"}});
    QTest::newRow("switch 2 is off") << withLine(13, " 2 ") << expect({{13, "0"}});
    QTest::newRow("switch -1 is off") << withLine(14, "-1 ") << expect({{14, "0"}});
    QTest::newRow("peers 2abc") << withLine(17, "2abc") << expect({{17, "2"}});
    QTest::newRow("peers x") << withLine(17, "x") << expect({{17, "0"}});
    QTest::newRow("peers empty") << withLine(17, "") << expect({{17, "0"}});
    QTest::newRow("peers 3.5") << withLine(17, " 3.5 ") << expect({{17, "4"}});
    QTest::newRow("peers -3") << withLine(17, "-3") << expect({{17, "-3"}});
    QTest::newRow("peers beyond 16 bit") << withLine(17, " 99999 ") << expect({{17, "0"}});
    QTest::newRow("unclosed quote in item 15")
            << withLine(15, "\"Quick")
            << expect({{15, "Quick\r\nhttp://a/ip\r\n 1 \r\n"}, {16, ""}, {17, "0"}});
}

void TestSettings::readingRules()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(parseSettings(text)), expected);
}

void TestSettings::roundTrip_data()
{
    QTest::addColumn<Preferences>("written");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<Preferences>("read");
    QTest::addColumn<float>("readLeft");
    QTest::addColumn<float>("readTop");

    const Preferences rich = richPreferences();
    QTest::newRow("defaults") << Preferences{} << 0.f << 0.f << Preferences{} << 0.f << 0.f;
    QTest::newRow("japanese, maximised") << rich << -300.f << 450.f << rich << -300.f << 450.f;

    Preferences minimised = rich;
    minimised.windowState = WindowState::Minimized;
    minimised.showPeers = 0;
    minimised.messageSound = false;
    Preferences minimisedRead = minimised;
    minimisedRead.windowLeft = 1234;
    minimisedRead.windowTop = 0;
    QTest::newRow("minimised, live position with fraction")
            << minimised << 1234.5f << -0.25f << minimisedRead << 1234.5f << -0.25f;

    Preferences quoted;
    quoted.myName = "Taro, Jr";
    quoted.logFontName = " leading blank";
    quoted.connectAddress = "trailing blank ";
    quoted.quickServer = "\tTab";
    quoted.addressServer = "   ";
    quoted.windowLeft = 1;
    quoted.windowTop = 2;
    QTest::newRow("texts that need quotes") << quoted << 1.f << 2.f << quoted << 1.f << 2.f;

    Preferences inner;
    inner.myName = "Bob \"X\"";
    inner.connectAddress = "a\"b";
    QTest::newRow("double quote inside stays") << inner << 0.f << 0.f << inner << 0.f << 0.f;

    Preferences mended;
    mended.myName = "Bob \"X\", Jr";
    mended.quickServer = "\"Room\" one";
    mended.addressServer = "a\r\nb";
    Preferences mendedRead = mended;
    mendedRead.myName = "Bob 'X', Jr";
    mendedRead.quickServer = "'Room' one";
    mendedRead.addressServer = "a  b";
    QTest::newRow("quote that cannot be kept, line break") << mended << 0.f << 0.f << mendedRead << 0.f << 0.f;

    Preferences stored;
    stored.windowLeft = 500;
    stored.windowTop = 600;
    QTest::newRow("live position unusable") << stored << std::numeric_limits<float>::quiet_NaN()
                                            << 1e20f << stored << 500.f << 600.f;

    Preferences extreme;
    extreme.textColor = std::numeric_limits<qint32>::min();
    extreme.backgroundColor = std::numeric_limits<qint32>::max();
    extreme.logFontSize = 0;
    extreme.windowWidth = -1;
    extreme.showPeers = -32768;
    Preferences extremeRead = extreme;
    extremeRead.windowLeft = std::numeric_limits<qint32>::min();
    extremeRead.windowTop = 2147483520; // the largest float below 2^31
    QTest::newRow("extreme values") << extreme << -2147483648.f << 2147483520.f << extremeRead
                                    << -2147483648.f << 2147483520.f;
}

void TestSettings::roundTrip()
{
    QFETCH(Preferences, written);
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(Preferences, read);
    QFETCH(float, readLeft);
    QFETCH(float, readTop);

    const QByteArray bytes = serializeSettings(written, left, top);
    QCOMPARE(int(bytes.count("\r\n")), 17);
    QCOMPARE(int(bytes.count('\n')), 17);
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(dump(parseSettings(cp932::decode(bytes))), fieldsOf(read, readLeft, readTop).join(u'|'));
}

void TestSettings::defaultFileBytes()
{
    const QByteArray font = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";
    const QByteArray expected = "Noname\r\n-2147483640 \r\n-2147483643 \r\n" + font
            + "\r\n 12 \r\n 1234 \r\n-15 \r\n 0 \r\n 0 \r\n 0 \r\n\r\n 0 \r\n 0 \r\n 0 \r\n\r\n\r\n 0 \r\n";
    QCOMPARE(serializeSettings(Preferences{}, 1234.f, -15.f), expected);

    Preferences p;
    p.windowWidth = 9000;
    p.windowState = WindowState::Maximized;
    p.alwaysOnTop = true;
    p.showPeers = 1;
    const QList<QByteArray> lines = serializeSettings(p, 1234.5f, 0.f).split('\n');
    QCOMPARE(lines.value(5), QByteArray(" 1234.5 \r"));
    QCOMPARE(lines.value(6), QByteArray(" 0 \r"));
    QCOMPARE(lines.value(7), QByteArray(" 9000 \r"));
    QCOMPARE(lines.value(9), QByteArray(" 2 \r"));
    QCOMPARE(lines.value(13), QByteArray(" 1 \r"));
    QCOMPARE(lines.value(16), QByteArray(" 1 \r"));
}

// A file cut at any byte loads without harm; every line that survived whole reads as written.
void TestSettings::truncatedAnywhere()
{
    Preferences written = richPreferences();
    written.windowLeft = 78; // 77.5 stored as an integer
    written.windowTop = 88;
    const QByteArray full = serializeSettings(written, 77.5f, 88.f);
    const QStringList original = fieldsOf(written, 77.5f, 88.f);
    const QStringList defaults = fieldsOf(Preferences{}, 0, 0);
    for (int cut = 0; cut <= full.size(); ++cut) {
        const QByteArray part = full.left(cut);
        const int wholeLines = int(part.count("\r\n"));
        const auto read = parseSettings(cp932::decode(part));
        // Item 11 is text: any part of it is an item.
        const bool expectRead = wholeLines > 10 || (wholeLines == 10 && !part.endsWith('\n'));
        QVERIFY2(bool(read) == expectRead, qPrintable(QString("cut at %1").arg(cut)));
        if (!read)
            continue;
        const QStringList got = fieldsOf(read->preferences, read->left, read->top);
        for (int item = 0; item < wholeLines; ++item)
            QCOMPARE(got[item], original[item]);
        if (part.endsWith('\n')) // a cut at a line boundary leaves the rest at defaults
            for (int item = wholeLines; item < 17; ++item)
                QCOMPARE(got[item], defaults[item]);
    }
}

void TestSettings::damagedFiles()
{
    const QString path = m_dir.filePath("damaged.dat");
    const QByteArray valid = fileOf(baseLines()).toLatin1();

    QRandomGenerator random(20240607);
    for (int round = 0; round < 40; ++round) {
        QByteArray noise(int(random.bounded(1, 70000)), Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        QVERIFY(writeFile(path, noise));
        QVERIFY2(!loadSettingsFile(path), qPrintable(QString("round %1").arg(round)));
    }

    QVERIFY(writeFile(path, valid + QByteArray(8 << 20, 'x') + "\r\n"));
    QCOMPARE(dump(loadSettingsFile(path)), expect({}));

    QVERIFY(writeFile(path, QByteArray(6 << 20, '\x88') + "\r\n" + valid)); // a name of several MB
    QVERIFY(!loadSettingsFile(path));

    QVERIFY(writeFile(path, valid.left(40) + QByteArray(1000, '\0') + valid.mid(40)));
    QVERIFY(!loadSettingsFile(path));

#ifdef Q_OS_LINUX
    QVERIFY(!loadSettingsFile("/dev/zero")); // endless input is read only so far
#endif
}

void TestSettings::missingOrUnreadable()
{
    QVERIFY(!loadSettingsFile(m_dir.filePath("missing.dat")));
    QVERIFY(!loadSettingsFile(m_dir.path()));
}

void TestSettings::saveWritesWhatLoads()
{
    const QString path = m_dir.filePath(SettingsFileName);
    QVERIFY(writeFile(path, QByteArray(5000, 'o'))); // a longer old file is replaced whole
    const Preferences p = richPreferences();
    QVERIFY(saveSettingsFile(path, p, -300.f, 450.f));
    QCOMPARE(readFile(path), serializeSettings(p, -300.f, 450.f));
    QCOMPARE(dump(loadSettingsFile(path)), fieldsOf(p, -300.f, 450.f).join(u'|'));
}

void TestSettings::emptyNameWritesNothing()
{
    Preferences nameless = richPreferences();
    nameless.myName.clear();
    const QString path = m_dir.filePath("nameless.dat");
    QVERIFY(!saveSettingsFile(path, nameless, 0, 0));
    QVERIFY(!QFile::exists(path));
    QVERIFY(writeFile(path, "old contents\r\n"));
    QVERIFY(!saveSettingsFile(path, nameless, 0, 0));
    QCOMPARE(readFile(path), QByteArray("old contents\r\n"));
}

void TestSettings::failedSaveKeepsOldFile()
{
    Preferences p = richPreferences();

    QVERIFY(!saveSettingsFile(m_dir.filePath("no/such/folder/tarnivel.dat"), p, 0, 0));
    QVERIFY(!QFileInfo::exists(m_dir.filePath("no")));
    const QString folderInTheWay = m_dir.filePath("folder.dat");
    QVERIFY(QDir().mkpath(folderInTheWay + "/inside"));
    QVERIFY(!saveSettingsFile(folderInTheWay, p, 0, 0));
    QVERIFY(QFileInfo(folderInTheWay + "/inside").isDir());

#ifdef Q_OS_UNIX
    // A write that stops half-way: the file size limit applies even to root.
    QTemporaryDir dir;
    const QString path = dir.filePath(SettingsFileName);
    const QByteArray old = serializeSettings(richPreferences(), 1, 2);
    QVERIFY(writeFile(path, old));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    // Both a write that goes through the buffer and one that bypasses it.
    p.myName = QString(2000, u'名');
    const bool savedSmall = saveSettingsFile(path, p, 0, 0);
    p.myName = QString(20000, u'名');
    const bool savedLarge = saveSettingsFile(path, p, 0, 0);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!savedSmall);
    QVERIFY(!savedLarge);
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{SettingsFileName});
#endif
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
