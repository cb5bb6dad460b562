// Start-up pieces: command line, one copy per bind address, program folder, twips.

#include "model/commandline.h"
#include "platform/programfolder.h"
#include "platform/singleinstance.h"
#include "model/twips.h"
#include "ui/startup.h"

#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace tarnivel;

namespace {

// Set in a child copy of this program: it takes the lock for the address given, reports
// "held" or "refused" and stays until killed or until its input closes.
constexpr char HolderVariable[] = "TARNIVEL_TEST_LOCK_HOLDER";

// Addresses unique to this run, so parallel runs and a real copy never interfere.
QString testAddress(const char *name)
{
    return QStringLiteral("test-%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
}

QByteArray startHolder(QProcess &child, const QString &address)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(HolderVariable, address);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    while (child.waitForReadyRead(10000) && !child.canReadLine()) {
    }
    return child.readLine().trimmed();
}

} // namespace

class TestStartPieces : public QObject
{
    Q_OBJECT

private slots:
    void commandLine();
    void lockPerAddress();
    void lockOfOtherProcess();
    void programFolderChoice();
    void foldersOfABuiltAndAnInstalledCopy_data();
    void foldersOfABuiltAndAnInstalledCopy();
    void twipsAndPixels();
};

void TestStartPieces::commandLine()
{
    QCOMPARE(classifyCommandLine(""), StartAction::None);
    for (const char *text : {"/l", "/L", "-l", "-L"})
        QVERIFY2(classifyCommandLine(text) == StartAction::OpenDirectory, text);
    for (const char *text : {" /L", "/L ", "/L x", "/LL", "l", "--l", "192.168.0.5", " "})
        QVERIFY2(classifyCommandLine(text) == StartAction::JoinAddress, text);
    // Only an address to join keeps the splash up, two seconds, before the window loads.
    for (const char *text : {"", "/L", "-l"})
        QVERIFY2(splashWaitMs(text) == 0, text);
    for (const char *text : {"/L x", "192.168.0.5", " "})
        QVERIFY2(splashWaitMs(text) == 2000, text);
    QCOMPARE(commandLineText({}), QString());
    QCOMPARE(commandLineText({"tarnivel"}), QString());
    QCOMPARE(commandLineText({"tarnivel", "/L", "x"}), QString("/L x"));
    QCOMPARE(commandLineText({"/opt/たるにべ", "ホスト"}), QString("ホスト"));

    // Only the whole text "--version" or "--help" is answered on the terminal; anything
    // else keeps its usual meaning.
    QCOMPARE(terminalAnswer("--version", "9.8.7"), std::optional<QString>("tarnivel 9.8.7\n"));
    const auto help = terminalAnswer("--help", "9.8.7");
    QVERIFY(help && help->startsWith("Usage: tarnivel [ADDRESS | /L]\n") && help->endsWith("man tarnivel\n"));
    for (const char *text : {"", "/L", "--version ", " --help", "--help x", "--version --help", "--Version", "-v", "-h", "-V"})
        QVERIFY2(!terminalAnswer(text, "9.8.7"), text);
}

void TestStartPieces::lockPerAddress()
{
    const QString a = testAddress("a");
    const QString b = testAddress("b");
    {
        SingleInstanceLock first, second, other;
        QVERIFY(first.tryAcquire(a));
        QVERIFY(!second.tryAcquire(a));
        QVERIFY(!second.isHeld());
        QVERIFY(other.tryAcquire(b));
        first.release();
        QVERIFY(second.tryAcquire(a));

        // Held for the whole run: age alone must not let a second copy in.
        QFile lockFile(SingleInstanceLock::lockFilePath(a));
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        lockFile.close();
        QVERIFY(!first.tryAcquire(a));
    }
    SingleInstanceLock afterDestruction;
    QVERIFY(afterDestruction.tryAcquire(a));
    QVERIFY(!QFile::exists(SingleInstanceLock::lockFilePath(b)));

    const QStringList addresses{"", "tarnivel", "::1", "__1", "+3a+3a1", "%3A%3A1", "_3A_3A1",
                                "127.0.0.1", "127_0_0_1", "ホスト", "a/b", "a\\b"};
    QSet<QString> paths;
    for (const QString &address : addresses) {
        const QFileInfo path(SingleInstanceLock::lockFilePath(address));
        QCOMPARE(path.absolutePath(), QFileInfo(QDir::tempPath() + "/x").absolutePath());
        paths.insert(path.fileName().toLower()); // distinct even where case does not count
    }
    QCOMPARE(paths.size(), addresses.size());
}

void TestStartPieces::lockOfOtherProcess()
{
    // A copy started while this one holds the address is refused.
    const QString mine = testAddress("mine");
    SingleInstanceLock held;
    QVERIFY(held.tryAcquire(mine));
    QProcess refused;
    QCOMPARE(startHolder(refused, mine), QByteArray("refused"));
    refused.closeWriteChannel();
    QVERIFY(refused.waitForFinished(10000));

    // A copy holding the lock blocks this one until it is killed without clean-up.
    const QString theirs = testAddress("theirs");
    QProcess holder;
    QCOMPARE(startHolder(holder, theirs), QByteArray("held"));
    SingleInstanceLock lock;
    QVERIFY(!lock.tryAcquire(theirs));
    holder.kill(); // SIGKILL
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFile::exists(SingleInstanceLock::lockFilePath(theirs))); // left behind
    QVERIFY(lock.tryAcquire(theirs));
}

void TestStartPieces::programFolderChoice()
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir writable;
    QCOMPARE(programFolderFor(writable.path()), writable.path());
    QVERIFY(QDir(writable.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCOMPARE(programFolderFor(writable.filePath("missing")), userFolder);
    QVERIFY(QFileInfo(userFolder).isDir());
#ifdef Q_OS_LINUX
    QCOMPARE(programFolderFor("/proc"), userFolder); // not even root creates files there
#endif
    QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
    QCOMPARE(programFile("/opt/tarnivel", "tarnivel.dat"), QString("/opt/tarnivel/tarnivel.dat"));
    QCOMPARE(programFile("/", "部屋.tsd"), QString("/部屋.tsd"));
}

void TestStartPieces::foldersOfABuiltAndAnInstalledCopy_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("shipped");
    QTest::addColumn<QString>("program"); // "user": the per-user data folder

    QTest::newRow("build folder") << QStringList{"build/connect.wav", "share/tarnivel/connect.wav"} << "build"
                                  << "build" << "build";
    QTest::newRow("installed under a prefix") << QStringList{"bin/x", "share/tarnivel/connect.wav"} << "bin"
                                              << "share/tarnivel" << "user";
    QTest::newRow("a share folder without the sounds") << QStringList{"bin/x", "share/tarnivel/message.wav"}
                                                       << "bin" << "bin" << "bin";
    QTest::newRow("nothing shipped anywhere") << QStringList{"bin/x"} << "bin" << "bin" << "bin";
}

void TestStartPieces::foldersOfABuiltAndAnInstalledCopy()
{
    QFETCH(QStringList, files);
    QFETCH(QString, executable);
    QFETCH(QString, shipped);
    QFETCH(QString, program);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir root;
    for (const QString &file : files) {
        QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
        QFile f(root.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString exe = root.filePath(executable);
    QCOMPARE(shippedFolderFor(exe), root.filePath(shipped));
    const QString expectedProgram = program == "user" ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                                      : root.filePath(program);
    QCOMPARE(programFolderFor(exe), expectedProgram);
    // This test program runs from the build folder, beside the shipped sounds.
    QCOMPARE(shippedFolder(), QCoreApplication::applicationDirPath());
}

void TestStartPieces::twipsAndPixels()
{
    QCOMPARE(pixelsFromTwips(15, 96), 1);
    QCOMPARE(pixelsFromTwips(7425, 96), 495);
    QCOMPARE(pixelsFromTwips(1440, 144), 144);
    QCOMPARE(pixelsFromTwips(-4000, 96), -267);
    QCOMPARE(pixelsFromTwips(23, 96), 2);
    QCOMPARE(pixelsFromTwips(30, 0), 2); // no usable dpi: 96
    QCOMPARE(pixelsFromTwips(1e15, 96), std::numeric_limits<int>::max());
    QCOMPARE(twipsFromPixels(495, 96), 7425);
    QCOMPARE(twipsFromPixels(1, 120), 12);
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
    if (qEnvironmentVariableIsSet(HolderVariable)) {
        SingleInstanceLock lock;
        const bool held = lock.tryAcquire(qEnvironmentVariable(HolderVariable));
        std::fputs(held ? "held\n" : "refused\n", stdout);
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return held ? 0 : 1;
    }
    TestStartPieces test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startpieces.moc"
