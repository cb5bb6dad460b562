// The programs tests start: found by what they write, stopped with a grace period, and gone
// with the test process however it ends.

#include "childprocess.h"

#include <QCoreApplication>
#include <QFile>
#include <QtTest>

#include <cstdio>

using tarnivel::test::ChildProcess;

namespace {

constexpr char ParentSwitch[] = "--parent-of-sleeper";
const QString Shell = QStringLiteral("/bin/sh");

// 'Z' for a zombie, another letter for a live process, none once it is gone.
QChar processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype after = line.lastIndexOf(')'); // the name may hold blanks
    return after >= 0 && after + 2 < line.size() ? QChar(line[after + 2]) : QChar();
}

bool ended(qint64 pid)
{
    const QChar state = processState(pid);
    return state.isNull() || state == u'Z';
}

// As a test's process: starts a sleeper, says its pid, and waits to be killed.
int parentOfSleeper()
{
    ChildProcess sleeper;
    if (!sleeper.start(QStringLiteral("sleep"), {QStringLiteral("600")}))
        return 1;
    std::printf("%lld\n", static_cast<long long>(sleeper.process().processId()));
    std::fflush(stdout);
    QThread::sleep(600);
    return 0;
}

} // namespace

class TestChildProcess : public QObject
{
    Q_OBJECT
private slots:
    void waitsForWhatItWrites_data();
    void waitsForWhatItWrites();
    void stopsWithAGracePeriod_data();
    void stopsWithAGracePeriod();
    void diesWithTheTestProcess();
};

void TestChildProcess::waitsForWhatItWrites_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("waits"); // in order; each must come after the one before
    QTest::addColumn<bool>("found");
    QTest::newRow("at once") << "echo ready; exec sleep 60" << QStringList{"ready"} << true;
    QTest::newRow("later, in pieces") << "printf rea; sleep 0.2; echo dy; exec sleep 60" << QStringList{"ready"}
                                      << true;
    QTest::newRow("two lines in turn") << "echo one; sleep 0.1; echo two; exec sleep 60" << QStringList{"one", "two"}
                                       << true;
    QTest::newRow("a line once only") << "echo one; exec sleep 60" << QStringList{"one", "one"} << false;
    QTest::newRow("ends without it") << "echo other" << QStringList{"ready"} << false;
}

void TestChildProcess::waitsForWhatItWrites()
{
    QFETCH(QString, script);
    QFETCH(QStringList, waits);
    QFETCH(bool, found);
    ChildProcess child;
    QVERIFY2(child.start(Shell, {QStringLiteral("-c"), script}), qPrintable(child.error()));
    bool all = true;
    for (const QString &text : waits)
        all = all && child.waitFor(text, found ? ChildProcess::StartWaitMs : 1000);
    QVERIFY2(all == found, qPrintable(child.error()));
    if (!found)
        QVERIFY2(child.error().contains(waits.last()), qPrintable(child.error()));
}

void TestChildProcess::stopsWithAGracePeriod_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("graceMs");
    QTest::addColumn<int>("exitCode"); // -1: it had to be killed
    QTest::newRow("ends on SIGTERM") << "trap 'exit 3' TERM; echo ready; while :; do sleep 0.05; done"
                                     << ChildProcess::GraceMs << 3;
    QTest::newRow("ignores SIGTERM") << "trap '' TERM; echo ready; while :; do sleep 0.05; done" << 300 << -1;
}

void TestChildProcess::stopsWithAGracePeriod()
{
    QFETCH(QString, script);
    QFETCH(int, graceMs);
    QFETCH(int, exitCode);
    ChildProcess child;
    QVERIFY2(child.start(Shell, {QStringLiteral("-c"), script}) && child.waitFor(QStringLiteral("ready")),
             qPrintable(child.error()));
    QCOMPARE(child.stop(SIGTERM, graceMs), exitCode);
    QVERIFY(!child.isRunning());
}

void TestChildProcess::diesWithTheTestProcess()
{
    // A test process that dies without cleaning up (SIGKILL) takes its children with it.
    QProcess parent;
    tarnivel::test::endWithThisProcess(parent);
    parent.start(QCoreApplication::applicationFilePath(), {QLatin1String(ParentSwitch)});
    QVERIFY(parent.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(parent.canReadLine(), ChildProcess::StartWaitMs);
    const qint64 sleeper = parent.readLine().trimmed().toLongLong();
    QVERIFY(sleeper > 0);
    QVERIFY(!ended(sleeper));
    parent.kill();
    QVERIFY(parent.waitForFinished());
    QTRY_VERIFY(ended(sleeper));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], ParentSwitch) == 0)
        return parentOfSleeper();
    TestChildProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_childprocess.moc"
