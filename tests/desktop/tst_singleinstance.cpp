// One copy per bind address for each user: the lock, in this process and between processes.

#include "childprocess.h"
#include "desktop/singleinstance.h"

#include <QProcess>
#include <QSet>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    tarnivel::test::endWithThisProcess(child);
    child.start(QCoreApplication::applicationFilePath(), {});
    while (child.waitForReadyRead(10000) && !child.canReadLine()) {}
    return child.readLine().trimmed();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void lockPerAddress();
    void lockOfOtherProcess();
};

void TestSingleInstance::lockPerAddress()
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

    const QStringList addresses{"",        "tarnivel",  "::1",       "__1",    "+3a+3a1", "%3A%3A1",
                                "_3A_3A1", "127.0.0.1", "127_0_0_1", "ホスト", "a/b",     "a\\b"};
    QSet<QString> paths;
    for (const QString &address : addresses) {
        const QFileInfo path(SingleInstanceLock::lockFilePath(address));
        QCOMPARE(path.absolutePath(), QFileInfo(SingleInstanceLock::lockFolder() + "/x").absolutePath());
        paths.insert(path.fileName().toLower()); // distinct even where case does not count
    }
    QCOMPARE(paths.size(), addresses.size());
    // The user's own folder, which nobody else may enter: not the shared temporary folder,
    // where anyone's file of that name would keep every user's copy from starting.
    const QFileInfo folder(SingleInstanceLock::lockFolder());
    QVERIFY(folder.absoluteFilePath() != QFileInfo(QDir::tempPath()).absoluteFilePath());
    QCOMPARE(folder.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
}

void TestSingleInstance::lockOfOtherProcess()
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

    // A lock file without its holder's record: taken over when no process has it locked,
    // refused while one does (a copy that has made the file and is writing its record).
    const QString empty = testAddress("empty");
    QFile leftover(SingleInstanceLock::lockFilePath(empty));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    QVERIFY(::flock(leftover.handle(), LOCK_EX | LOCK_NB) == 0);
    SingleInstanceLock second;
    QVERIFY(!second.tryAcquire(empty));
    QCOMPARE(second.refusal(), SingleInstanceLock::Refusal::HeldByAnother);
    leftover.close();
    QVERIFY(second.tryAcquire(empty));
    QCOMPARE(second.refusal(), SingleInstanceLock::Refusal::None);
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
        while (std::getchar() != EOF) {}
        return held ? 0 : 1;
    }
    TestSingleInstance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
