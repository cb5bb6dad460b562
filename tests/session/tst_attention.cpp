// Lines that arrive while the window is inactive: the count, the taskbar alert, the tray and
// the notification, each behind its switch; activation clears the count.

#include "model/attentionswitches.h"
#include "session/arrivalalerts.h"
#include "session/desktopattention.h"
#include "testcopy.h"
#include "conversation/logrenderer.h"
#include "ui/logview.h"
#include "testsupport.h"
#include "ui/attentioncontrol.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

constexpr int JoinWaitMs = 10000;

// What the desktop was asked, with a tray whether or not this desktop has one.
class RecordingAttention : public DesktopAttention
{
public:
    void alert() override { ++alerts; }
    bool trayAvailable() const override { return hasTray; }
    void showUnread(int count, const QString &lastSender) override
    {
        trayCount = count;
        traySender = lastSender;
    }
    void notify(const QString &title, const QString &message) override { notes << (title + u'|' + message); }

    bool hasTray = true;
    int alerts = 0;
    int trayCount = -1;
    QString traySender;
    QStringList notes;
};

} // namespace

class TestAttention : public QObject
{
    Q_OBJECT
private slots:
    void arrivalsWhileInactive_data();
    void arrivalsWhileInactive();
    void activationClearsAndStatusLinesDoNotCount();
    void switchesLiveInTheirOwnFile();
    void unreadMarkerStandsOutsideTheText();
};

void TestAttention::arrivalsWhileInactive_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<AttentionSwitches>("switches");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("alerts");
    QTest::addColumn<int>("trayCount");
    QTest::addColumn<QString>("traySender");
    QTest::addColumn<QStringList>("notes");

    const QString longText =
        QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろ");
    const AttentionSwitches defaults;
    const AttentionSwitches all{true, true, true};
    const AttentionSwitches none{false, false, false};

    QTest::newRow("active window: nothing")
        << true << all << QStringLiteral("Taro> hi\r\n") << 0 << -1 << QString() << QStringList();
    QTest::newRow("defaults: alert and tray, no notification")
        << false << defaults << QStringLiteral("Taro> hi\r\n") << 1 << 1 << QStringLiteral("Taro") << QStringList();
    QTest::newRow("notification cut to 40 characters")
        << false << all << (QStringLiteral("花子> ") + longText + QStringLiteral("\r\n")) << 1 << 1
        << QStringLiteral("花子") << QStringList{QStringLiteral("花子 からのメッセージ|") + longText.left(40)};
    QTest::newRow("a private line says so")
        << false << all << QStringLiteral("\x01Taro（秘）: secret> plan\r\n") << 1 << 1 << QStringLiteral("Taro")
        << QStringList{QStringLiteral("Taro からの個人メッセージ|secret> plan")};
    // Whatever a peer puts in its line stays plain text on one line in the title, the tray
    // and the notification; the desktop's own escaping comes after. (A C1 control, an override
    // and a paragraph separator are replaced; the narrow no-break space after them is kept.)
    QTest::newRow("markup, line breaks and an override stay one plain line")
        << false << all << QStringLiteral("<b>T\u0080a\u202Er\u2029o\u202F</b>> a\rb\r\n ●x\r\n") << 1 << 1
        << QStringLiteral("<b>T\uFFFDa\uFFFDr\uFFFDo\u202F</b>")
        << QStringList{QStringLiteral("<b>T\uFFFDa\uFFFDr\uFFFDo\u202F</b> からのメッセージ|a␍b␍␊ ●x")};
    QTest::newRow("all switched off: counted, nothing shown")
        << false << none << QStringLiteral("Taro> hi\r\n") << 0 << 0 << QStringLiteral("Taro") << QStringList();
}

void TestAttention::arrivalsWhileInactive()
{
    QFETCH(bool, active);
    QFETCH(AttentionSwitches, switches);
    QFETCH(QString, line);

    RecordingAttention desktop;
    ArrivalAlerts alerts(desktop);
    alerts.setSwitches(switches);
    desktop.trayCount = -1; // what setSwitches showed does not count
    alerts.setWindowActive(active);
    QSignalSpy started(&alerts, &ArrivalAlerts::unreadStarted);
    alerts.lineArrived(line);

    QTEST(desktop.alerts, "alerts");
    QTEST(desktop.trayCount, "trayCount");
    QTEST(desktop.notes, "notes");
    QCOMPARE(alerts.unreadCount(), active ? 0 : 1);
    QCOMPARE(started.count(), active ? 0 : 1);
    if (!active) {
        QTEST(alerts.lastSender(), "traySender");
        alerts.lineArrived(line);
        QCOMPARE(alerts.unreadCount(), 2);
        QCOMPARE(started.count(), 1); // one spell of inactivity, one start
        alerts.setWindowActive(true);
        QCOMPARE(alerts.unreadCount(), 0);
        QCOMPARE(desktop.trayCount, 0);
    }
}

// A real window: a peer's line while another window is active counts; the connected line
// (a status line) does not; activating the window clears the count.
void TestAttention::activationClearsAndStatusLinesDoNotCount()
{
    WindowCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    RecordingAttention desktop;
    control<AttentionControl>(a.window(), "attentionControl")->alerts().setAttention(desktop);
    QVERIFY(activate(a.window()));

    QWidget elsewhere;
    elsewhere.resize(100, 100);
    QVERIFY(activate(elsewhere));
    QTRY_VERIFY(!control<AttentionControl>(a.window(), "attentionControl")->alerts().windowActive());

    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, JoinWaitMs);
    QVERIFY(a.logText().contains(QStringLiteral("と接続されました")));
    QCOMPARE(control<AttentionControl>(a.window(), "attentionControl")->alerts().unreadCount(), 0);
    QCOMPARE(desktop.alerts, 0);

    b.say(QStringLiteral("こんにちは"));
    // A loaded machine (the sanitized suite beside other tests) may take over the default 5 s.
    QTRY_COMPARE_WITH_TIMEOUT(control<AttentionControl>(a.window(), "attentionControl")->alerts().unreadCount(), 1,
                              JoinWaitMs);
    QCOMPARE(desktop.alerts, 1);
    QCOMPARE(desktop.trayCount, 1);
    QCOMPARE(desktop.traySender, QStringLiteral("B"));

    QVERIFY(activate(a.window()));
    QTRY_COMPARE(control<AttentionControl>(a.window(), "attentionControl")->alerts().unreadCount(), 0);
    QCOMPARE(desktop.trayCount, 0);

    // The tray click clears too, without waiting for the window manager.
    QVERIFY(activate(elsewhere));
    QTRY_VERIFY(!control<AttentionControl>(a.window(), "attentionControl")->alerts().windowActive());
    b.say(QStringLiteral("もう一度"));
    QTRY_COMPARE(control<AttentionControl>(a.window(), "attentionControl")->alerts().unreadCount(), 1);
    control<AttentionControl>(a.window(), "attentionControl")->trayClicked();
    QCOMPARE(control<AttentionControl>(a.window(), "attentionControl")->alerts().unreadCount(), 0);
}

// The marker stands before the first line that arrived unseen, is no part of the saved or
// copied text, and goes once a line is sent.
void TestAttention::unreadMarkerStandsOutsideTheText()
{
    WindowCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.namedMemberCount(), 1, JoinWaitMs);
    b.say(QStringLiteral("読んだ行"));
    QTRY_VERIFY(a.logText().contains(QStringLiteral("読んだ行")));
    auto *log = static_cast<LogView *>(control<QTextEdit>(a.window(), "txtWin"));
    QVERIFY(!log->unreadMarker());

    control<AttentionControl>(a.window(), "attentionControl")->alerts().setWindowActive(false);
    const QString before = a.logText();
    b.say(QStringLiteral("未読の行"));
    b.say(QStringLiteral("もう一行"));
    QTRY_VERIFY(a.logText().contains(QStringLiteral("もう一行")));
    control<AttentionControl>(a.window(), "attentionControl")->alerts().setWindowActive(true);

    const std::optional<int> marker = log->unreadMarker();
    QVERIFY(marker);
    QCOMPARE(a.session().logDocument().findBlock(*marker).text(), QStringLiteral("B> 未読の行"));
    QCOMPARE(a.logText(), before + QStringLiteral("B> 未読の行\nB> もう一行\n"));
    log->selectAll();
    QCOMPARE(logText(log->textCursor()), a.logText());

    // Scrolling to it by hand, or sending a line, takes it away.
    log->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QTRY_VERIFY(!log->unreadMarker());
    log->showUnreadMarker(*marker);
    control<QLineEdit>(a.window(), "txtInput")->setText(QStringLiteral("返事"));
    QTest::keyClick(control<QLineEdit>(a.window(), "txtInput"), Qt::Key_Return);
    QVERIFY(!log->unreadMarker());
}

void TestAttention::switchesLiveInTheirOwnFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(ExtraSettingsFileName));
    QVERIFY(!readExtraSwitch(path, extraswitch::AttentionNotify)); // no file: defaults
    QVERIFY(readExtraSwitch(path, extraswitch::AttentionAlert));
    // A file as the first version with switches wrote it reads as before, and writing a
    // switch it lacks keeps what it holds.
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[attention]\nalert=false\nnotify=true\ntray=true\n");
    }
    QVERIFY(readExtraSwitch(path, extraswitch::LanAnnounce));
    QVERIFY(writeExtraSwitch(path, extraswitch::LanAnnounce, false));
    QVERIFY(!readExtraSwitch(path, extraswitch::LanAnnounce));
    QVERIFY(!readExtraSwitch(path, extraswitch::AttentionAlert));
    QVERIFY(readExtraSwitch(path, extraswitch::AttentionNotify));
    QVERIFY(readExtraSwitch(path, extraswitch::AttentionTray));

    // Through the menu of a window: the toggle is written at once, not into tarnivel.dat.
    WindowCopy a(1, QStringLiteral("A"));
    const QString ini = a.session().programFile(QString::fromLatin1(ExtraSettingsFileName));
    findAction(a.window(), "mnAttentionNotify")->trigger();
    QVERIFY(readExtraSwitch(ini, extraswitch::AttentionNotify));
    QVERIFY(control<AttentionControl>(a.window(), "attentionControl")->alerts().switches().notify);
}

QTEST_MAIN(TestAttention)
#include "tst_attention.moc"
