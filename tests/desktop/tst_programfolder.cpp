// The program folder (settings, entries) and the folder of the shipped files, built and installed.

#include "desktop/programfolder.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarnivel;

class TestProgramFolder : public QObject
{
    Q_OBJECT
private slots:
    void programFolderChoice();
    void foldersOfABuiltAndAnInstalledCopy_data();
    void foldersOfABuiltAndAnInstalledCopy();
};

void TestProgramFolder::programFolderChoice()
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

void TestProgramFolder::foldersOfABuiltAndAnInstalledCopy_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("shipped");
    QTest::addColumn<QString>("program"); // "user": the per-user data folder

    QTest::newRow("build folder") << QStringList{"build/connect.wav", "share/tarnivel/connect.wav"} << "build"
                                  << "build"
                                  << "build";
    QTest::newRow("installed under a prefix") << QStringList{"bin/x", "share/tarnivel/connect.wav"} << "bin"
                                              << "share/tarnivel"
                                              << "user";
    QTest::newRow("a share folder without the sounds") << QStringList{"bin/x", "share/tarnivel/message.wav"} << "bin"
                                                       << "bin"
                                                       << "bin";
    QTest::newRow("nothing shipped anywhere") << QStringList{"bin/x"} << "bin"
                                              << "bin"
                                              << "bin";
}

void TestProgramFolder::foldersOfABuiltAndAnInstalledCopy()
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
    const QString expectedProgram =
        program == "user" ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) : root.filePath(program);
    QCOMPARE(programFolderFor(exe), expectedProgram);
    // This test program runs from the build folder, beside the shipped sounds.
    QCOMPARE(shippedFolder(), QCoreApplication::applicationDirPath());
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The real program may carry a name that differs from its executable's.
    QCoreApplication::setApplicationName(QStringLiteral("たるにべ"));
    TestProgramFolder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_programfolder.moc"
