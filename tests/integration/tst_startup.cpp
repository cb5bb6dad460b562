// The real program started as separate processes, each copied into its own folder.

#include "childprocess.h"
#include "testsupport.h"
#include "ui/startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace tarnivel;

namespace {

// A copy of the executable in a fresh folder, so its settings file lands there.
class ProgramCopy
{
public:
    ProgramCopy()
    {
        const QString exe = qEnvironmentVariable("TARNIVEL_EXECUTABLE");
        m_path = m_folder.filePath(QStringLiteral("tarnivel"));
        m_ok = !exe.isEmpty() && QFile::copy(exe, m_path);
    }
    bool ok() const { return m_ok; }
    QString folder() const { return m_folder.path(); }

    std::unique_ptr<QProcess> start(const QString &bindAddress, const QStringList &args = {},
                                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TARNIVEL_BIND_ADDRESS"), bindAddress);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(channels);
        tarnivel::test::endWithThisProcess(*p);
        p->start(m_path, args);
        p->waitForStarted();
        return p;
    }

    QByteArray settings() const
    {
        QFile f(m_folder.filePath(QStringLiteral("tarnivel.dat")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_folder;
    QString m_path;
    bool m_ok = false;
};

// The copy is up once its chat port answers.
bool listensOn(const QString &address, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(address, 3220);
            return probe.waitForConnected(200);
        },
        timeoutMs);
}

void terminate(QProcess &p)
{
    ::kill(pid_t(p.processId()), SIGTERM);
    p.waitForFinished(10000);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void secondCopyOnTheSameAddressEndsAtOnce();
    void aKilledCopyDoesNotBlockTheNext();
    void copiesOnDifferentAddressesRunTogether();
    void terminationSavesTheSettings();
    void platformChoice_data();
    void platformChoice();
    void splashWaitsOnlyForAnAddress_data();
    void splashWaitsOnlyForAnAddress();
    void switchOpensNoWaitButAddressWaits();
    void switchWithMoreTextIsAnAddress();
    void versionAndHelpNeedNoDisplayNorLock();
};

void TestStartup::init()
{
    if (qEnvironmentVariable("TARNIVEL_EXECUTABLE").isEmpty())
        QSKIP("TARNIVEL_EXECUTABLE is not set (run through ctest)");
}

void TestStartup::secondCopyOnTheSameAddressEndsAtOnce()
{
    ProgramCopy folder;
    QVERIFY(folder.ok());
    const QString address = test::loopbackText(1);
    auto first = folder.start(address);
    QVERIFY(listensOn(address, 10000));

    auto second = folder.start(address, {QStringLiteral("/L")}, QProcess::SeparateChannels);
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    // It says why, naming the copy that runs.
    const QByteArray said = second->readAllStandardError();
    QVERIFY2(said.contains("another copy (process " + QByteArray::number(first->processId()) + ") already runs on "
                           + address.toLatin1()),
             said.constData());
    // The first copy is not disturbed.
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(listensOn(address, 2000));
    terminate(*first);
}

void TestStartup::aKilledCopyDoesNotBlockTheNext()
{
    ProgramCopy folder;
    QVERIFY(folder.ok());
    const QString address = test::loopbackText(2);
    auto first = folder.start(address);
    QVERIFY(listensOn(address, 10000));
    first->kill(); // SIGKILL: no clean-up at all
    QVERIFY(first->waitForFinished(5000));

    auto next = folder.start(address);
    QVERIFY(listensOn(address, 10000));
    QCOMPARE(next->state(), QProcess::Running);
    terminate(*next);
}

void TestStartup::copiesOnDifferentAddressesRunTogether()
{
    ProgramCopy one;
    ProgramCopy two;
    QVERIFY(one.ok() && two.ok());
    auto a = one.start(test::loopbackText(3));
    auto b = two.start(test::loopbackText(4));
    QVERIFY(listensOn(test::loopbackText(3), 10000));
    QVERIFY(listensOn(test::loopbackText(4), 10000));
    terminate(*a);
    terminate(*b);
}

void TestStartup::terminationSavesTheSettings()
{
    ProgramCopy folder;
    QVERIFY(folder.ok());
    auto p = folder.start(test::loopbackText(5));
    QVERIFY(listensOn(test::loopbackText(5), 10000));
    QVERIFY(folder.settings().isEmpty());
    terminate(*p);
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    const QList<QByteArray> lines = folder.settings().split('\n');
    QCOMPARE(lines.size(), 18); // 17 lines, each ending CR LF
    QCOMPARE(lines.at(0), QByteArray("Noname\r"));
    QCOMPARE(lines.at(4), QByteArray(" 12 \r"));
}

void TestStartup::platformChoice_data()
{
    QTest::addColumn<QByteArray>("chosen"); // QT_QPA_PLATFORM
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("asked"); // empty: left to the user's choice
    const QStringList plain{"tarnivel"};
    QTest::newRow("nothing chosen: X11, then Wayland") << QByteArray() << plain << QByteArray("xcb;wayland");
    QTest::newRow("blank counts as nothing") << QByteArray(" ") << plain << QByteArray("xcb;wayland");
    QTest::newRow("Wayland chosen") << QByteArray("wayland") << plain << QByteArray();
    QTest::newRow("offscreen chosen") << QByteArray("offscreen") << plain << QByteArray();
    QTest::newRow("-platform given") << QByteArray() << QStringList{"tarnivel", "-platform", "wayland"} << QByteArray();
    QTest::newRow("--platform given") << QByteArray() << QStringList{"tarnivel", "--platform", "wayland"}
                                      << QByteArray();
}

void TestStartup::platformChoice()
{
    QFETCH(QByteArray, chosen);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, asked);
    QCOMPARE(preferredPlatform(chosen, arguments).value_or(QByteArray()), asked);
}

void TestStartup::splashWaitsOnlyForAnAddress_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("nothing") << QString() << 0;
    QTest::newRow("the list switch") << QStringLiteral("/L") << 0;
    QTest::newRow("the list switch, other spelling") << QStringLiteral("-l") << 0;
    QTest::newRow("an address") << QStringLiteral("192.168.0.5") << 2000;
    QTest::newRow("a switch with more text is an address") << QStringLiteral("/L x") << 2000;
    QTest::newRow("a blank is an address") << QStringLiteral(" ") << 2000;
}

void TestStartup::splashWaitsOnlyForAnAddress()
{
    QFETCH(QString, commandLine);
    QFETCH(int, waitMs);
    QCOMPARE(splashWaitMs(commandLine), waitMs);
}

void TestStartup::switchOpensNoWaitButAddressWaits()
{
    // Both come up. An address on the command line waits two seconds with the splash up
    // before the main window loads, so it cannot listen sooner; how long each command line
    // waits is tested without processes (splashWaitsOnlyForAnAddress).
    ProgramCopy folder;
    QVERIFY(folder.ok());
    const QString address = test::loopbackText(6);

    auto withSwitch = folder.start(address, {QStringLiteral("/L")});
    QVERIFY(listensOn(address, 15000));
    terminate(*withSwitch);

    QElapsedTimer t;
    t.start();
    auto withAddress = folder.start(address, {test::loopbackText(99)});
    QVERIFY(listensOn(address, 15000));
    const qint64 addressMs = t.elapsed(); // a lower bound only: it cannot be less, however busy the machine
    terminate(*withAddress);
    QVERIFY2(addressMs >= 2000, qPrintable(QString::number(addressMs)));
}

void TestStartup::switchWithMoreTextIsAnAddress()
{
    ProgramCopy folder;
    QVERIFY(folder.ok());
    const QString address = test::loopbackText(7);
    auto p = folder.start(address, {QStringLiteral("/L"), QStringLiteral("x")});
    QVERIFY(listensOn(address, 15000));
    terminate(*p);
    // The whole command line became the address to join (settings item 11).
    const QList<QByteArray> lines = folder.settings().split('\n');
    QVERIFY(lines.size() > 11);
    QCOMPARE(lines.at(10), QByteArray("/L x\r"));
}

void TestStartup::versionAndHelpNeedNoDisplayNorLock()
{
    // A running copy holds the lock of this address: a copy that looked at the lock first
    // would end silently, and one that started Qt first would fail without a display.
    ProgramCopy folder;
    QVERIFY(folder.ok());
    const QString address = test::loopbackText(8);
    auto running = folder.start(address);
    QVERIFY(listensOn(address, 10000));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("TARNIVEL_BIND_ADDRESS"), address);
    const QList<std::pair<QString, QString>> rows{
        {QStringLiteral("--version"), QStringLiteral(R"(^tarnivel \d+\.\d+\.\d+\n$)")},
        {QStringLiteral("--help"), QStringLiteral(R"(^Usage: tarnivel .*\n  --version .*man tarnivel\n$)")},
    };
    for (const auto &[option, expected] : rows) {
        QProcess p;
        p.setProcessEnvironment(env);
        tarnivel::test::endWithThisProcess(p);
        p.start(qEnvironmentVariable("TARNIVEL_EXECUTABLE"), {option});
        QVERIFY2(p.waitForFinished(10000), qPrintable(option));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QRegularExpression pattern(expected, QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(pattern.match(out).hasMatch(), qPrintable(option + ": " + out));
        QCOMPARE(p.readAllStandardError(), QByteArray());
    }
    QCOMPARE(running->state(), QProcess::Running);
    terminate(*running);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
