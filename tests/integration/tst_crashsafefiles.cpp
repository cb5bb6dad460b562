// Files the program writes survive being killed at any moment: a writer process saves
// the settings, a directory entry or the log over and over, alternating two contents, and
// is killed with SIGKILL at random points. Each time the file holds one whole version.

#include "childprocess.h"
#include "conversation/logfile.h"
#include "directory/entryfile.h"
#include "model/settingsfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <csignal>

using namespace tarnivel;

namespace {

constexpr int Kills = 40;

// Two versions of each kind of file, different in size so a torn write cannot pass for one.
Preferences settingsVersion(int v)
{
    Preferences p;
    p.myName = v ? QStringLiteral("二番目の名前") : QStringLiteral("one");
    p.connectAddress = QString(v ? 3000 : 10, u'a');
    return p;
}

DirectoryEntry entryVersion(int v)
{
    return {QStringLiteral("http://example.jp/room.cgi"), v ? QString(2000, u'部') : QStringLiteral("雑談")};
}

QString logVersion(int v)
{
    return v ? QStringLiteral("たろう> こんにちは\n").repeated(5000) : QStringLiteral("a> b\n");
}

// The writer side: save forever until killed.
int runWriter(const QString &kind, const QString &path)
{
    for (int i = 0;; ++i) {
        const int v = i % 2;
        bool ok = false;
        if (kind == QLatin1String("settings")) {
            ok = saveSettingsFile(path, settingsVersion(v), 0, 0);
        } else if (kind == QLatin1String("entry")) {
            ok = writeEntryFile(path, entryVersion(v));
        } else {
            QTextDocument log;
            log.setPlainText(logVersion(v));
            ok = logfile::write(path, log);
        }
        if (!ok)
            return 3;
    }
}

// Which version the file on disk is; -1 for anything else.
int versionOnDisk(const QString &kind, const QString &path)
{
    if (kind == QLatin1String("settings")) {
        const std::optional<SettingsRead> read = loadSettingsFile(path);
        for (int v : {0, 1}) {
            if (read && read->preferences.myName == settingsVersion(v).myName
                && read->preferences.connectAddress == settingsVersion(v).connectAddress)
                return v;
        }
        return -1;
    }
    if (kind == QLatin1String("entry")) {
        const std::optional<DirectoryEntry> read = readEntryFile(path);
        for (int v : {0, 1}) {
            if (read && read->url == entryVersion(v).url && read->room == entryVersion(v).room)
                return v;
        }
        return -1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    for (int v : {0, 1}) {
        QTextDocument log;
        log.setPlainText(logVersion(v));
        if (bytes == logfile::bytesOf(log))
            return v;
    }
    return -1;
}

} // namespace

class TestCrashSafeFiles : public QObject
{
    Q_OBJECT
private slots:
    void killedWriterLeavesAWholeFile_data();
    void killedWriterLeavesAWholeFile();
};

void TestCrashSafeFiles::killedWriterLeavesAWholeFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("settings") << QStringLiteral("settings");
    QTest::newRow("directory entry") << QStringLiteral("entry");
    QTest::newRow("saved log") << QStringLiteral("log");
}

void TestCrashSafeFiles::killedWriterLeavesAWholeFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QRandomGenerator random(20261207);
    for (int k = 0; k < Kills; ++k) {
        QProcess writer;
        test::endWithThisProcess(writer);
        writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), kind, path});
        QVERIFY(writer.waitForStarted());
        // The first save must be done before a file is expected at all.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 5000);
        QThread::usleep(random.bounded(20000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished());
        QVERIFY2(versionOnDisk(kind, path) >= 0, qPrintable(QStringLiteral("torn file after kill %1").arg(k)));
    }
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--writer") == 0) {
        QGuiApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QGuiApplication app(argc, argv);
    TestCrashSafeFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafefiles.moc"
