// Finding copies on the same network and being found by them: what a copy announces and how
// that follows the copy, the list "近くのたるにべ" and joining from it, the real Avahi client
// without a daemon, and whole copies in two network namespaces, each namespace with its own
// bus and avahi-daemon.

#include "avahiinnamespace.h"
#include "nearbycopyprocess.h"
#include "netnamespaces.h"
#include "rawpeer.h"
#include "testcopy.h"
#include "testsupport.h"
#include "model/extraswitches.h"
#include "discovery/avahidiscovery.h"
#include "model/invitekey.h"
#include "ui/mainwindow.h"
#include "ui/nearbywindow.h"

#include <QAction>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTreeWidget>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

// Far above what finding takes (about 1 s, bench_nearby): probing and queries run on Avahi's timers.
constexpr int FindWaitMs = 30000;
// How long a copy without Avahi is watched for attempts and wake-ups.
constexpr int QuietPeriodMs = 3000;
const QString NoAvahiLine = QStringLiteral("avahi-daemon が応答しないため、同じネットワークのたるにべを探せません。");
const QString Version = QStringLiteral(TARNIVEL_VERSION_TEXT);

QString describe(const std::optional<LanAnnouncement> &a)
{
    if (!a)
        return QStringLiteral("(nothing)");
    return QStringLiteral("%1 at %2:%3, members=%4 version=%5%6")
        .arg(a->instanceName, a->address.toString())
        .arg(a->port)
        .arg(a->memberCount)
        .arg(a->version, a->keyed ? QStringLiteral(" keyed") : QString());
}

LanAnnouncement announcementOf(const QString &name, const QString &address, int members, bool keyed = false)
{
    return LanAnnouncement{LanPresence::instanceName(name, QSysInfo::machineHostName()),
                           QHostAddress(address),
                           3220,
                           members,
                           Version,
                           keyed};
}

// The rows as shown: name|address|count|mark.
QStringList rowsOf(const NearbyWindow &window)
{
    QStringList rows;
    for (int r = 0; r < window.list()->topLevelItemCount(); ++r) {
        const QTreeWidgetItem *item = window.list()->topLevelItem(r);
        rows << QStringList{item->text(NearbyWindow::NameColumn), item->text(NearbyWindow::AddressColumn),
                            item->text(NearbyWindow::CountColumn), item->text(NearbyWindow::MarkColumn)}
                    .join(u'|');
    }
    return rows;
}

// Announced under the machine's host name ("C@hc": "hc.local") unless one is given.
FoundCopy found(const QString &key, const QString &name, const QString &address, std::optional<int> members,
                const QString &hostName = QString())
{
    const QString host = hostName.isEmpty() ? name.section(u'@', 1) + QStringLiteral(".local") : hostName;
    return FoundCopy{key, name, host, QHostAddress(address), 3220, members, Version};
}

} // namespace

class TestNearby : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void instanceNamesFitADnsLabel_data();
    void instanceNamesFitADnsLabel();
    void theAnnouncementFollowsTheCopy();
    void theSwitchIsKeptAndStartsAnnouncing();
    void theListFollowsTheNetworkAndJoins_data();
    void theListFollowsTheNetworkAndJoins();
    void withoutAvahiOneLineAndNoRetryStorm_data();
    void withoutAvahiOneLineAndNoRetryStorm();
    void copiesInTwoNamespacesFindAndJoinEachOther();

private:
    QTemporaryDir m_busFolder;
};

void TestNearby::initTestCase()
{
    // libdbus reads this once, at the first use of the system bus in this process: every
    // real Avahi client made here talks to the bus the test puts there.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_busFolder.filePath(QStringLiteral("bus"))));
}

void TestNearby::instanceNamesFitADnsLabel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("instance");
    const QString kana20 = QString(20, QChar(0x3042));           // 60 bytes of UTF-8
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // 4 bytes, a surrogate pair
    QTest::newRow("name and host") << "太郎"
                                   << "pc1"
                                   << "太郎@pc1";
    QTest::newRow("no name: the host") << ""
                                       << "pc1"
                                       << "pc1";
    QTest::newRow("cut to 63 bytes") << kana20 << "workstation" << kana20 + "@wo";
    QTest::newRow("a character is never split") << "a" + QString(21, QChar(0x3042)) << "pc1"
                                                << "a" + kana20;
    QTest::newRow("nor a surrogate pair") << QString(60, u'a') + smile << "pc1" << QString(60, u'a');
}

void TestNearby::instanceNamesFitADnsLabel()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QString, instance);
    QCOMPARE(LanPresence::instanceName(name, host), instance);
    QVERIFY(LanPresence::instanceName(name, host).toUtf8().size() <= 63);
}

void TestNearby::theAnnouncementFollowsTheCopy()
{
    TestCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    const QString at = a.address();
    struct Step
    {
        const char *what;
        std::function<void()> act;
        std::optional<LanAnnouncement> announced;
    };
    const Step steps[] = {
        {"loaded", [] {}, announcementOf(QStringLiteral("A"), at, 0)},
        {"renamed", [&] { a.session().setMyName(QStringLiteral("太郎")); },
         announcementOf(QStringLiteral("太郎"), at, 0)},
        {"joined by B", [&] { b.joinThrough(at); }, announcementOf(QStringLiteral("太郎"), at, 1)},
        {"switched off", [&] { a.session().lan().setAnnouncing(false); }, std::nullopt},
        {"switched on", [&] { a.session().lan().setAnnouncing(true); }, announcementOf(QStringLiteral("太郎"), at, 1)},
        {"B left", [&] { b.close(); }, announcementOf(QStringLiteral("太郎"), at, 0)},
        // A flag, never the key.
        {"given an invite key", [&] { (void)a.session().inviteKey().set(newInviteKey()); },
         announcementOf(QStringLiteral("太郎"), at, 0, true)},
        {"the key removed", [&] { (void)a.session().inviteKey().remove(); },
         announcementOf(QStringLiteral("太郎"), at, 0)},
        {"closed", [&] { a.close(); }, std::nullopt},
    };
    for (const Step &step : steps) {
        step.act();
        QTRY_COMPARE_WITH_TIMEOUT(describe(a.lan.announced), describe(step.announced), WaitMs);
        QVERIFY2(a.lan.announced == step.announced, step.what);
    }
}

void TestNearby::theSwitchIsKeptAndStartsAnnouncing()
{
    // A copy whose tarnivel.ini says the switch is off starts unannounced.
    FakeDesktop desktop;
    FakeLanDiscovery &lan = desktop.lan;
    const QString ini = QDir(desktop.folder.path()).filePath(QString::fromLatin1(ExtraSettingsFileName));
    QVERIFY(writeExtraSwitch(ini, extraswitch::LanAnnounce, false));
    MainWindow window(desktop.options(loopback(1)));
    window.load(QString());
    QAction *item = findAction(window, QStringLiteral("mnLanAnnounce"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("LANで自分を知らせる"));
    QVERIFY(item->isCheckable());
    QVERIFY(!item->isChecked());
    QTest::qWait(0); // an update waiting for the event loop would come now
    QVERIFY(!lan.announced);

    item->trigger();
    QVERIFY(lan.announced);
    QCOMPARE(lan.announced->address, loopback(1));
    QVERIFY(readExtraSwitch(ini, extraswitch::LanAnnounce));
    window.unload();
    QVERIFY(!lan.announced); // gone at exit
}

void TestNearby::theListFollowsTheNetworkAndJoins_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("Enter") << true;
    QTest::newRow("double click") << false;
}

void TestNearby::theListFollowsTheNetworkAndJoins()
{
    QFETCH(bool, byEnter);
    WindowCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    QAction *item = findAction(a.window(), QStringLiteral("mnNearby"));
    QVERIFY(item);
    item->trigger();
    NearbyWindow *window = control<NearbyWindow>(a.window(), "frmNearby");
    QVERIFY(window && window->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(a.lan.browsing);
    QCOMPARE(rowsOf(*window), QStringList());

    const QString b1 = b.address();
    emit a.lan.availabilityChanged(LanAvailability::Available);
    emit a.lan.found(found(QStringLiteral("1"), QStringLiteral("B@hb"), b1, 0));
    emit a.lan.found(found(QStringLiteral("2"), QStringLiteral("C@hc"), QStringLiteral("127.0.0.1"), 2));
    emit a.lan.found(
        found(QStringLiteral("3"), QStringLiteral("C@hc"), QStringLiteral("192.0.2.8"), 2)); // C again, on the LAN
    emit a.lan.found(found(QStringLiteral("4"), QStringLiteral("D@hd"), QStringLiteral("192.0.2.9"), std::nullopt));
    // One row per copy, a LAN address before the loopback, no count when the record has none.
    const QStringList before{"B@hb|" + b1 + "|0|", "C@hc|192.0.2.8|2|", "D@hd|192.0.2.9||"};
    QCOMPARE(rowsOf(*window), before);
    QVERIFY(window->statusLine()->text().startsWith(QStringLiteral("3 件見つかりました")));

    // While a join runs the connect command is not offered, nor is it from the list.
    QTreeWidget *list = window->list();
    RawListener silent(5, JoinPort, [](RawPeer &) {}); // takes the join request, never answers
    emit a.lan.found(found(QStringLiteral("5"), QStringLiteral("Z@hz"), loopbackText(5), 0));
    list->setCurrentItem(list->topLevelItem(3));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 接続中"));
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Return);
    QVERIFY(!a.logText().contains(b1));
    a.session().disconnect();
    emit a.lan.lost(QStringLiteral("5"));

    // Joining goes through the connect command, as if B's address had been typed.
    list->setCurrentItem(list->topLevelItem(0));
    QCOMPARE(list->currentItem()->text(NearbyWindow::NameColumn), QStringLiteral("B@hb"));
    if (byEnter) {
        QTest::keyClick(list, Qt::Key_Return);
    } else {
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        // As a hand does it: a click, then the second press that makes it double.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    }
    QVERIFY(a.logText().contains(QStringLiteral(" ●") + b1 + QStringLiteral(" に接続中...")));
    QCOMPARE(a.session().preferences().connectAddress, b1);
    QTRY_COMPARE_WITH_TIMEOUT(a.title(), QStringLiteral("たるにべ - 1人接続済"), WaitMs);
    QTRY_COMPARE(rowsOf(*window).value(0), "B@hb|" + b1 + "|0|参加中");

    // In a chat the connect command does nothing, from the list too.
    const QString logBefore = a.logText();
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(a.logText(), logBefore);
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済"));

    // A copy of the same name on C's machine, bound to an address of its own: a row of its own.
    emit a.lan.found(found(QStringLiteral("6"), QStringLiteral("C@hc"), QStringLiteral("192.0.2.7"), 1,
                           QStringLiteral("hc-192-0-2-7.local")));
    QCOMPARE(rowsOf(*window),
             (QStringList{"B@hb|" + b1 + "|0|参加中", "C@hc|192.0.2.7|1|", "C@hc|192.0.2.8|2|", "D@hd|192.0.2.9||"}));

    // Departures: C stays while it is seen anywhere.
    emit a.lan.lost(QStringLiteral("3"));
    QCOMPARE(rowsOf(*window).value(2), QStringLiteral("C@hc|127.0.0.1|2|"));
    emit a.lan.lost(QStringLiteral("2"));
    emit a.lan.lost(QStringLiteral("4"));
    emit a.lan.lost(QStringLiteral("6"));
    QCOMPARE(rowsOf(*window), QStringList{"B@hb|" + b1 + "|0|参加中"});

    // Without the daemon: no rows, one line.
    emit a.lan.availabilityChanged(LanAvailability::Unavailable);
    QCOMPARE(rowsOf(*window), QStringList());
    QCOMPARE(window->statusLine()->text(), NoAvahiLine);

    window->close();
    QVERIFY(!a.lan.browsing);
}

void TestNearby::withoutAvahiOneLineAndNoRetryStorm_data()
{
    QTest::addColumn<bool>("busRuns");
    QTest::newRow("no bus answers") << false;
    QTest::newRow("a bus without avahi-daemon") << true;
}

void TestNearby::withoutAvahiOneLineAndNoRetryStorm()
{
    QFETCH(bool, busRuns);
    const QString socketPath = m_busFolder.filePath(QStringLiteral("bus"));
    QFile::remove(socketPath);
    // Either a socket that hangs up on every caller, counting them, or a real bus.
    QLocalServer hangUp;
    int callers = 0;
    std::unique_ptr<TestSystemBus> bus;
    if (busRuns) {
        bus = std::make_unique<TestSystemBus>(socketPath);
        VERIFY_SET_UP(*bus);
    } else {
        QObject::connect(&hangUp, &QLocalServer::newConnection, [&] {
            while (QLocalSocket *caller = hangUp.nextPendingConnection()) {
                ++callers;
                caller->abort();
                caller->deleteLater();
            }
        });
        QVERIFY(hangUp.listen(socketPath));
    }

    AvahiDiscovery avahi;
    WindowCopy a(loopbackText(1), QStringLiteral("A"), &avahi);
    findAction(a.window(), QStringLiteral("mnNearby"))->trigger();
    NearbyWindow *window = control<NearbyWindow>(a.window(), "frmNearby");
    QTRY_COMPARE_WITH_TIMEOUT(window->statusLine()->text(), NoAvahiLine, WaitMs);
    QCOMPARE(rowsOf(*window), QStringList());

    // Watched for a while: a loop retrying the bus or the daemon would show in thousands.
    const quint64 wakeupsBefore = avahi.wakeups();
    QTest::qWait(QuietPeriodMs);
    const quint64 wakeups = avahi.wakeups() - wakeupsBefore;
    qInfo("%d attempts to reach Avahi, %d callers at the bus socket, %llu wake-ups in %d ms", avahi.clientAttempts(),
          callers, static_cast<unsigned long long>(wakeups), QuietPeriodMs);
    QVERIFY2(avahi.clientAttempts() <= 2, qPrintable(QString::number(avahi.clientAttempts())));
    QVERIFY(callers <= 2);
    QVERIFY2(wakeups <= 20, qPrintable(QString::number(wakeups)));
    QCOMPARE(window->statusLine()->text(), NoAvahiLine);

    // The rest of the copy is as ever.
    TestCopy b(2, QStringLiteral("B"));
    a.joinThrough(b.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.title(), QStringLiteral("たるにべ - 1人接続済"), WaitMs);
}

void TestNearby::copiesInTwoNamespacesFindAndJoinEachOther()
{
    NAMESPACES_OR_SKIP(TwoNamespaces, net);
    const QString nearAddress = QLatin1String(TwoNamespaces::NearAddress);
    const QString farAddress = QLatin1String(TwoNamespaces::FarAddress);
    // Two more copies on the near machine, both under the near copy's name: one on a second
    // address of its LAN, one on loopback.
    const QString secondAddress = QStringLiteral("192.0.2.3");
    const QString loopAddress = QStringLiteral("127.0.0.5");
    QCOMPARE(net.addNearAddress(secondAddress), QString());
    QCOMPARE(net.upNearLoopback(), QString());
    AvahiInNamespace nearAvahi(net.nearName(), QStringLiteral("lo,") + TwoNamespaces::linkName(),
                               QStringLiteral("tarnivel-near"));
    VERIFY_SET_UP(nearAvahi);
    AvahiInNamespace farAvahi(net.farName(), TwoNamespaces::linkName(), QStringLiteral("tarnivel-far"));
    VERIFY_SET_UP(farAvahi);

    // A row as the lists show it.
    const auto row = [](const QString &instance, const QString &address, int members, const QString &mark = QString()) {
        return QStringList{instance, address, QString::number(members), mark}.join(u'|');
    };
    const QString host = QSysInfo::machineHostName();
    const QString near = LanPresence::instanceName(QStringLiteral("near"), host);
    const QString far = LanPresence::instanceName(QStringLiteral("far"), host);
    // The same name on the same interface of the same machine: the later copy takes the next.
    const QString second = near + QStringLiteral(" #2");
    // On another interface: Avahi keeps names apart per interface only, so the name stays and
    // the address tells the two apart.
    const QString loop = near;
    const QString inChat = QStringLiteral("参加中");
    const QString keyed = QStringLiteral("招待キー");

    NearbyCopyProcess nearCopy(nearAvahi, nearAddress, QStringLiteral("near"));
    NearbyCopyProcess farCopy(farAvahi, farAddress, QStringLiteral("far"));
    QTRY_COMPARE_WITH_TIMEOUT(farCopy.rows(), QStringList{row(near, nearAddress, 0)}, FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(nearCopy.rows(), QStringList{row(far, farAddress, 0)}, FindWaitMs);

    // Each further copy is found at its own address; the loopback one only on its machine.
    NearbyCopyProcess secondCopy(nearAvahi, secondAddress, QStringLiteral("near"));
    NearbyCopyProcess loopCopy(nearAvahi, loopAddress, QStringLiteral("near"));
    QTRY_COMPARE_WITH_TIMEOUT(
        nearCopy.rows(),
        (QStringList{row(far, farAddress, 0), row(loop, loopAddress, 0), row(second, secondAddress, 0)}), FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(farCopy.rows(), (QStringList{row(near, nearAddress, 0), row(second, secondAddress, 0)}),
                              FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(
        secondCopy.rows(), (QStringList{row(far, farAddress, 0), row(loop, loopAddress, 0), row(near, nearAddress, 0)}),
        FindWaitMs);

    // Given the same invite key, the two are marked in each other's lists (a flag, never the
    // key), and joining from the list forms the chat inside TLS; the lists then count and mark it.
    const QString key = inviteKeyText(newInviteKey());
    nearCopy.send(QStringLiteral("key ") + key);
    farCopy.send(QStringLiteral("key ") + key);
    QTRY_COMPARE_WITH_TIMEOUT(
        farCopy.rows(), (QStringList{row(near, nearAddress, 0, keyed), row(second, secondAddress, 0)}), FindWaitMs);
    farCopy.send(QStringLiteral("join ") + near);
    QTRY_COMPARE_WITH_TIMEOUT(farCopy.title(), QStringLiteral("たるにべ - 1人接続済"), WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(nearCopy.title(), QStringLiteral("たるにべ - 1人接続済"), WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(
        farCopy.rows(), (QStringList{row(near, nearAddress, 1, keyed + u' ' + inChat), row(second, secondAddress, 0)}),
        FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(nearCopy.rows(),
                              (QStringList{row(far, farAddress, 1, keyed + u' ' + inChat), row(loop, loopAddress, 0),
                                           row(second, secondAddress, 0)}),
                              FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(loopCopy.rows().value(0), row(far, farAddress, 1, keyed), FindWaitMs);

    // A copy that quits leaves the others' lists.
    secondCopy.send(QStringLiteral("quit"));
    QTRY_COMPARE_WITH_TIMEOUT(farCopy.rows(), QStringList{row(near, nearAddress, 1, keyed + u' ' + inChat)},
                              FindWaitMs);
    farCopy.send(QStringLiteral("quit"));
    QTRY_COMPARE_WITH_TIMEOUT(nearCopy.rows(), QStringList{row(loop, loopAddress, 0)}, FindWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(nearCopy.title(), QStringLiteral("たるにべ - 未接続"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(farCopy.ended(), WaitMs);
}

QTEST_MAIN(TestNearby)
#include "tst_nearby.moc"
