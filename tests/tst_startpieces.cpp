// Start-up pieces: command line, one copy per bind address, program folder, twips.

#include "app/commandline.h"
#include "app/programfolder.h"
#include "app/singleinstance.h"
#include "app/twips.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace tarnivel;

Q_DECLARE_METATYPE(tarnivel::StartAction)

namespace {

// Set in a child copy of this test program: it takes the lock for the address given,
// reports "held" or "refused" and stays until killed or until its input closes.
constexpr char HolderVariable[] = "TARNIVEL_TEST_LOCK_HOLDER";

int runLockHolder(const QString &address)
{
    SingleInstanceLock lock;
    const bool held = lock.tryAcquire(address);
    std::fputs(held ? "held\n" : "refused\n", stdout);
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return held ? 0 : 1;
}

// Addresses unique to this run, so parallel runs and a real copy never interfere.
QString testAddress(const QString &name)
{
    return QStringLiteral("test-%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
}

} // namespace

class TestStartPieces : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void classify_data();
    void classify();
    void commandLineText_data();
    void commandLineText();
    void lockPerAddress();
    void lockFilesNeverShared();
    void agedLockOfLivingCopyHolds();
    void otherProcessHoldsThenCrashes();
    void programFolderChoice();
    void programFileJoins();
    void twipsAndPixels_data();
    void twipsAndPixels();
    void pixelRoundTrip();

private:
    // Starts a lock holder child and returns what it reported.
    QByteArray startHolder(QProcess &child, const QString &address);
};

void TestStartPieces::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestStartPieces::classify_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<StartAction>("action");
    QTest::newRow("empty") << "" << StartAction::None;
    for (const char *sw : {"/l", "/L", "-l", "-L"})
        QTest::newRow(sw) << sw << StartAction::OpenDirectory;
    for (const char *address : {" /L", "/L ", "/L x", "/LL", "l", "--l", "/1", "192.168.0.5", "host.example.jp", " "})
        QTest::newRow(address) << address << StartAction::JoinAddress;
}

void TestStartPieces::classify()
{
    QFETCH(QString, text);
    QFETCH(StartAction, action);
    QCOMPARE(classifyCommandLine(text), action);
}

void TestStartPieces::commandLineText_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("text");
    QTest::newRow("program only") << QStringList{"tarnivel"} << "";
    QTest::newRow("nothing at all") << QStringList{} << "";
    QTest::newRow("switch") << QStringList{"tarnivel", "/L"} << "/L";
    QTest::newRow("switch and more") << QStringList{"tarnivel", "/L", "x"} << "/L x";
    QTest::newRow("japanese host") << QStringList{"/opt/たるにべ", "ホスト"} << "ホスト";
}

void TestStartPieces::commandLineText()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, text);
    QCOMPARE(tarnivel::commandLineText(arguments), text);
}

void TestStartPieces::lockPerAddress()
{
    const QString a = testAddress("a");
    const QString b = testAddress("b");
    {
        SingleInstanceLock first;
        SingleInstanceLock second;
        SingleInstanceLock other;
        QVERIFY(first.tryAcquire(a));
        QVERIFY(first.isHeld());
        QVERIFY(!second.tryAcquire(a));
        QVERIFY(!second.isHeld());
        QVERIFY(other.tryAcquire(b));
        first.release();
        QVERIFY(!first.isHeld());
        QVERIFY(second.tryAcquire(a));
    }
    SingleInstanceLock afterDestruction;
    QVERIFY(afterDestruction.tryAcquire(a));
    QVERIFY(!QFile::exists(SingleInstanceLock::lockFilePath(b)));
}

void TestStartPieces::lockFilesNeverShared()
{
    const QStringList addresses{"", "tarnivel", "default", "::1", "__1", "+3a+3a1", "%3A%3A1",
                                "127.0.0.1", "127_0_0_1", "fe80::1%eth0", "ホスト", "a/b", "a\\b"};
    QSet<QString> paths;
    for (const QString &address : addresses) {
        const QString path = SingleInstanceLock::lockFilePath(address);
        QVERIFY2(!QFileInfo(path).fileName().contains(u'/'), qPrintable(path));
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(QDir::tempPath() + "/x").absolutePath());
        paths.insert(path);
    }
    QCOMPARE(paths.size(), addresses.size());
    QCOMPARE(SingleInstanceLock::lockFilePath(" 127.0.0.1 "), SingleInstanceLock::lockFilePath("127.0.0.1"));
}

// The lock is held for the whole run; age alone must not let a second copy in.
void TestStartPieces::agedLockOfLivingCopyHolds()
{
    const QString address = testAddress("aged");
    SingleInstanceLock first;
    QVERIFY(first.tryAcquire(address));
    QFile lockFile(SingleInstanceLock::lockFilePath(address));
    QVERIFY(lockFile.open(QIODevice::ReadWrite));
    QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    lockFile.close();
    SingleInstanceLock second;
    QVERIFY(!second.tryAcquire(address));
}

QByteArray TestStartPieces::startHolder(QProcess &child, const QString &address)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(HolderVariable, address);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForStarted(10000))
        return "not started";
    while (!child.canReadLine() && child.waitForReadyRead(10000)) {
    }
    return child.readLine().trimmed();
}

void TestStartPieces::otherProcessHoldsThenCrashes()
{
    // A second copy started while this one holds the address is refused.
    const QString mine = testAddress("mine");
    SingleInstanceLock held;
    QVERIFY(held.tryAcquire(mine));
    QProcess refused;
    QCOMPARE(startHolder(refused, mine), QByteArray("refused"));
    refused.closeWriteChannel();
    QVERIFY(refused.waitForFinished(10000));

    // A copy that holds the lock blocks this one until it is killed.
    const QString theirs = testAddress("theirs");
    QProcess holder;
    QCOMPARE(startHolder(holder, theirs), QByteArray("held"));
    SingleInstanceLock lock;
    QVERIFY(!lock.tryAcquire(theirs));
    holder.kill(); // SIGKILL: no clean-up runs
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::exists(SingleInstanceLock::lockFilePath(theirs))); // left behind
    QVERIFY(lock.tryAcquire(theirs));
}

void TestStartPieces::programFolderChoice()
{
    QTemporaryDir writable;
    QCOMPARE(programFolderFor(writable.path()), writable.path());
    QCOMPARE(QDir(writable.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{}); // the probe leaves nothing behind

    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCOMPARE(programFolderFor(writable.filePath("missing")), userFolder);
    QVERIFY(QFileInfo(userFolder).isDir());
#ifdef Q_OS_LINUX
    QCOMPARE(programFolderFor("/proc"), userFolder); // nobody, not even root, creates files there
#endif
    QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
}

void TestStartPieces::programFileJoins()
{
    QCOMPARE(programFile("/opt/tarnivel", "tarnivel.dat"), QString("/opt/tarnivel/tarnivel.dat"));
    QCOMPARE(programFile("/", "tarnivel.dat"), QString("/tarnivel.dat"));
    QCOMPARE(programFile("C:/たるにべ", "部屋.tsd"), QString("C:/たるにべ/部屋.tsd"));
}

void TestStartPieces::twipsAndPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("one pixel") << 15.0 << 96.0 << 1;
    QTest::newRow("design width") << 7425.0 << 96.0 << 495;
    QTest::newRow("inch at 144") << 1440.0 << 144.0 << 144;
    QTest::newRow("negative") << -4000.0 << 96.0 << -267;
    QTest::newRow("rounds to nearest") << 22.0 << 96.0 << 1;
    QTest::newRow("rounds up") << 23.0 << 96.0 << 2;
    QTest::newRow("bad dpi is 96") << 30.0 << 0.0 << 2;
    QTest::newRow("clamped") << 1e15 << 96.0 << std::numeric_limits<int>::max();
}

void TestStartPieces::twipsAndPixels()
{
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(pixelsFromTwips(twips, dpi), pixels);
}

void TestStartPieces::pixelRoundTrip()
{
    QCOMPARE(twipsFromPixels(1, 96), 15);
    QCOMPARE(twipsFromPixels(495, 96), 7425);
    QCOMPARE(twipsFromPixels(1, 120), 12);
    QCOMPARE(twipsFromPixels(-10, -5), -150);
    for (double dpi : {72.0, 96.0, 120.0, 144.0, 192.0})
        for (int px = -3000; px <= 3000; ++px)
            if (pixelsFromTwips(twipsFromPixels(px, dpi), dpi) != px)
                QFAIL(qPrintable(QString("%1 px at %2 dpi").arg(px).arg(dpi)));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The real program may carry a name that differs from its executable's.
    QCoreApplication::setApplicationName(QStringLiteral("たるにべ"));
    if (qEnvironmentVariableIsSet(HolderVariable))
        return runLockHolder(qEnvironmentVariable(HolderVariable));
    TestStartPieces test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startpieces.moc"
