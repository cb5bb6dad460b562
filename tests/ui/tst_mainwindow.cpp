// The main window: menus, window-level keys, and the preferences it loads and saves.

#include "model/settingsfile.h"
#include "text/codepage932.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "ui/namedialog.h"
#include "testsupport.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

struct MenuRow
{
    const char *name;
    const char *caption;
    QKeySequence shortcut;
};

QStringList barCaptions(QMenuBar *bar)
{
    QStringList captions;
    for (QAction *a : bar->actions())
        captions << a->text();
    return captions;
}

// The rows of a menu: object names, with "-" for separators.
QStringList menuRows(QMenu *menu)
{
    QStringList rows;
    for (QAction *a : menu->actions())
        rows << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return rows;
}

constexpr int JoinWaitMs = 10000;

// Renames a copy through its name command, typing the name into the dialog; returns once the
// dialog has closed.
void renameThroughDialog(WindowCopy &c, const QString &name)
{
    findAction(c.window(), "mnName")->trigger();
    whenModal<NameDialog>([=](NameDialog *dialog) {
        auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtMyName"));
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, name, Qt::NoModifier);
        dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    });
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

QStringList memberNames(WindowCopy &c)
{
    QStringList names;
    for (const Member &m : c.session().mesh().members())
        names << m.name;
    return names;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void newNameGoesOutInTheNextGreetingAndSwitchesAreSaved();
    void menuBarAsDesigned();
    void menuShortcutsWinOverTheInputBox();
    void ctrlFAndCtrlSActOncePerPress();
    void shortcutWithShiftOrHiddenColumn();
    void inputTakesJapaneseUpTo500Characters();
    void addressBoxCopiesOncePerPress();
    void addressBoxShowsTheButtonFace_data();
    void addressBoxShowsTheButtonFace();
    void storedChoicesComeBackOnLoad();
    void closingSavesUnlessTheNameIsEmpty();
    void aPositionOffEveryScreenComesBack();
};

void TestMainWindow::menuBarAsDesigned()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    QCOMPARE(barCaptions(w.menuBar()), (QStringList{"接続", "接続先を表示", "設定", "その他"}));
    const QList<QAction *> bar = w.menuBar()->actions();
    QCOMPARE(menuRows(bar[0]->menu()),
             (QStringList{"mnConnect", "mnDisconnect", "-", "mnServer", "mnQuick", "mnWaitQuit", "-", "mnEnd",
                          // additions after the classic items
                          "-", "mnNearby"}));
    QVERIFY(!bar[1]->menu()); // the display command has no submenu
    QCOMPARE(menuRows(bar[2]->menu()),
             (QStringList{"mnName", "mnFont", "mnColor", "-", "mnFormTop", "-", "mnBeep", "mnMsgBeep",
                          // additions after the classic items
                          "-", "mnFindLog", "mnAttentionAlert", "mnAttentionTray", "mnAttentionNotify", "mnLanAnnounce",
                          "mnPortMapping", "mnReachCheck", "mnInviteKey"}));
    QCOMPARE(menuRows(bar[3]->menu()),
             (QStringList{"mnSaveLog", "-", "mnShoIP", "mnCopyIP", "-", "mnClearLog", "-", "mnHelp", "mnVer"}));

    const QList<MenuRow> rows = {
        {"mnConnect", "接続", QKeySequence("Ctrl+A")},
        {"mnDisconnect", "切断", QKeySequence("Ctrl+D")},
        {"mnServer", "サーバに接続", QKeySequence("F2")},
        {"mnQuick", "クイックサーバ", QKeySequence("F3")},
        {"mnWaitQuit", "待機の解除", QKeySequence("Shift+F3")},
        {"mnEnd", "終了", QKeySequence("Ctrl+Q")},
        {"mnName", "名前", QKeySequence("Ctrl+N")},
        {"mnFont", "フォント", QKeySequence()},
        {"mnColor", "色", QKeySequence()},
        {"mnFormTop", "常に手前に表示", QKeySequence("Ctrl+T")},
        {"mnBeep", "接続音を鳴らす", QKeySequence("Ctrl+B")},
        {"mnMsgBeep", "メッセージ音を鳴らす", QKeySequence("Ctrl+M")},
        {"mnSaveLog", "ログを保存", QKeySequence()},
        {"mnShoIP", "自分のIPを表示", QKeySequence()},
        {"mnCopyIP", "自分のIPをコピー", QKeySequence("Ctrl+I")},
        {"mnClearLog", "ログのクリア", QKeySequence()},
        {"mnHelp", "ヘルプ", QKeySequence("F1")},
        {"mnVer", "バージョン", QKeySequence()},
        {"mnCopy", "コピー", QKeySequence()},
        {"mnLock", "画面のロック", QKeySequence()},
        {"mnNearby", "近くのたるにべ", QKeySequence("F4")},
        {"mnInviteKey", "招待キー…", QKeySequence()},
    };
    for (const MenuRow &row : rows) {
        QAction *a = findAction(w, QString::fromLatin1(row.name));
        QVERIFY2(a, row.name);
        QCOMPARE(a->text(), QString::fromUtf8(row.caption));
        QCOMPARE(a->shortcut(), row.shortcut);
        const bool check = QByteArray(row.name) == "mnFormTop" || QByteArray(row.name) == "mnBeep"
            || QByteArray(row.name) == "mnMsgBeep";
        QCOMPARE(a->isCheckable(), check);
    }
    // No key does two things; the window-level Ctrl+F, Ctrl+L and Ctrl+S are not menu items.
    QList<QKeySequence> keys{QKeySequence("Ctrl+F"), QKeySequence("Ctrl+L"), QKeySequence("Ctrl+S")};
    for (const QAction *a : w.findChildren<QAction *>()) {
        if (a->shortcut().isEmpty())
            continue;
        QVERIFY2(!keys.contains(a->shortcut()), qPrintable(a->shortcut().toString()));
        keys << a->shortcut();
    }
    QVERIFY(!findAction(w, "mnWaitQuit")->isVisible());
    QVERIFY(findAction(w, "mnConnect")->isEnabled());
    QVERIFY(!findAction(w, "mnDisconnect")->isEnabled());
    // The edit menu is the log's pop-up, never on the bar.
    for (QAction *a : bar)
        QVERIFY(a->text() != QStringLiteral("編集"));
    QVERIFY(w.findChild<QMenu *>(QStringLiteral("mnEdit")));
}

void TestMainWindow::menuShortcutsWinOverTheInputBox()
{
    WindowCopy c(1, QStringLiteral("A"));
    QVERIFY(activate(c.window()));
    control<QLineEdit>(c.window(), "txtInput")->setFocus();
    QVERIFY(!c.session().preferences().connectSound);
    QTest::keyClick(control<QLineEdit>(c.window(), "txtInput"), Qt::Key_B, Qt::ControlModifier);
    QVERIFY(c.session().preferences().connectSound);
    QVERIFY(findAction(c.window(), "mnBeep")->isChecked());
    QTest::keyClick(control<QLineEdit>(c.window(), "txtInput"), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(c.session().preferences().messageSound);

    // F3 is the quick-server command (none is set here).
    QTest::keyClick(control<QLineEdit>(c.window(), "txtInput"), Qt::Key_F3);
    QVERIFY(c.logText().contains(QStringLiteral(" ●クイックサーバが登録されていません")));

    // Ctrl+A is the connect command even though a line edit would select all with it.
    control<QLineEdit>(c.window(), "txtInput")->setText(QStringLiteral("typed"));
    const QString nowhere = loopbackText(99);
    c.session().chooseAddress(nowhere);
    QTest::keyClick(control<QLineEdit>(c.window(), "txtInput"), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(c.logText().contains(QStringLiteral(" ●%1 に接続中...").arg(nowhere)));
    QCOMPARE(c.title(), QStringLiteral("たるにべ - 接続中"));
    QVERIFY(!control<QLineEdit>(c.window(), "txtInput")->hasSelectedText());
}

void TestMainWindow::ctrlFAndCtrlSActOncePerPress()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    QVERIFY(activate(w));
    QLineEdit *input = control<QLineEdit>(w, "txtInput");
    input->setFocus();

    QTest::keyPress(input, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(c.session().preferences().showPeers, true);
    QCOMPARE(findAction(w, "mnDisp")->text(), QStringLiteral("接続先を隠す"));
    // Held down: the repeat does nothing, and typed characters are swallowed.
    QTest::keyPress(input, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(c.session().preferences().showPeers, true);
    QTest::keyClick(input, Qt::Key_X);
    QVERIFY(input->text().isEmpty());
    QTest::keyRelease(input, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_X);
    QCOMPARE(input->text(), QStringLiteral("x"));

    // Ctrl+S flips the addressing each press, showing the matching list.
    QVERIFY(control<QRadioButton>(w, "opSendToAll")->isChecked());
    QTest::keyClick(input, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(control<QRadioButton>(w, "opSendToSelected")->isChecked());
    QVERIFY(control<QListWidget>(w, "lbListChk")->isVisibleTo(&w));
    QVERIFY(!control<QListWidget>(w, "lbList")->isVisibleTo(&w));
    QTest::keyClick(input, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(control<QRadioButton>(w, "opSendToAll")->isChecked());
    QVERIFY(control<QListWidget>(w, "lbList")->isVisibleTo(&w));

    QTest::keyClick(input, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(c.session().preferences().showPeers, false);
    QCOMPARE(findAction(w, "mnDisp")->text(), QStringLiteral("接続先を表示"));
    QVERIFY(!control<QListWidget>(w, "lbList")->isVisibleTo(&w));
}

void TestMainWindow::shortcutWithShiftOrHiddenColumn()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    QVERIFY(activate(w));
    QTest::keyClick(control<QLineEdit>(w, "txtInput"), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(c.session().preferences().showPeers, false);
    // Column hidden: Ctrl+S changes nothing, but still holds the key: what is typed meanwhile
    // is swallowed, and gets through once the key is up.
    QTest::keyPress(control<QLineEdit>(w, "txtInput"), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(control<QRadioButton>(w, "opSendToAll")->isChecked());
    QTest::keyClick(control<QLineEdit>(w, "txtInput"), Qt::Key_X);
    QVERIFY(control<QLineEdit>(w, "txtInput")->text().isEmpty());
    QTest::keyRelease(control<QLineEdit>(w, "txtInput"), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(control<QLineEdit>(w, "txtInput"), Qt::Key_X);
    QCOMPARE(control<QLineEdit>(w, "txtInput")->text(), QStringLiteral("x"));
}

void TestMainWindow::inputTakesJapaneseUpTo500Characters()
{
    WindowCopy c(1, QStringLiteral("A"));
    QVERIFY(activate(c.window()));
    QLineEdit *input = control<QLineEdit>(c.window(), "txtInput");
    input->setFocus();
    QTest::sendKeyEvent(QTest::Click, input, Qt::Key_unknown, QStringLiteral("日本語"), Qt::NoModifier);
    QCOMPARE(input->text(), QStringLiteral("日本語"));
    input->setText(QString(600, QChar(u'あ')));
    QCOMPARE(input->text().size(), 500);
    // Not in a chat: Enter keeps the text.
    QTest::keyClick(input, Qt::Key_Return);
    QCOMPARE(input->text().size(), 500);
}

void TestMainWindow::addressBoxShowsTheButtonFace_data()
{
    QTest::addColumn<bool>("changedLater"); // the desktop's colours change while the window is open
    QTest::newRow("desktop colours at start") << false;
    QTest::newRow("desktop colours changed") << true;
}

void TestMainWindow::addressBoxShowsTheButtonFace()
{
    QFETCH(bool, changedLater);
    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
    QPalette desktop = before;
    desktop.setColor(QPalette::Button, QColor(0x12, 0x34, 0x56));
    desktop.setColor(QPalette::Base, QColor(0xFE, 0xFD, 0xFC));
    if (!changedLater)
        QApplication::setPalette(desktop);
    WindowCopy c(1, QStringLiteral("A"));
    c.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.window()));
    if (changedLater)
        QApplication::setPalette(desktop);
    QLineEdit *box = control<QLineEdit>(c.window(), "txtShowIP");
    QCOMPARE(box->objectName(), QStringLiteral("txtShowIP"));
    // The change reaches the window as a posted event.
    QTRY_COMPARE(box->palette().color(QPalette::Base), QColor(0x12, 0x34, 0x56));
    // The input box beside it keeps the window background.
    QCOMPARE(control<QLineEdit>(c.window(), "txtInput")->palette().color(QPalette::Base), QColor(0xFE, 0xFD, 0xFC));
}

void TestMainWindow::addressBoxCopiesOncePerPress()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    QVERIFY(activate(w));
    w.togglePeerColumn();
    w.setShownAddress(QStringLiteral("192.0.2.7"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QLineEdit *box = control<QLineEdit>(w, "txtShowIP");
    box->setFocus();
    QTest::keyPress(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("192.0.2.7"));
    QGuiApplication::clipboard()->setText(QStringLiteral("changed"));
    QTest::keyPress(box, Qt::Key_C, Qt::ControlModifier); // held: no second copy
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("changed"));
    QTest::keyRelease(box, Qt::Key_C, Qt::ControlModifier);
    // Typing into the read-only box moves to the input box.
    QTest::keyClick(box, Qt::Key_A);
    QVERIFY(control<QLineEdit>(w, "txtInput")->hasFocus());
}

void TestMainWindow::storedChoicesComeBackOnLoad()
{
    FakeDesktop desktop;
    Preferences stored;
    stored.myName = QStringLiteral("保存済み");
    stored.connectSound = true;
    stored.alwaysOnTop = true;
    stored.showPeers = 1;
    stored.windowWidth = 9000;
    stored.windowHeight = 6000;
    stored.windowState = WindowState::Maximized;
    QVERIFY(saveSettingsFile(desktop.folder.filePath("tarnivel.dat"), stored, 300, 450));

    MainWindow w(desktop.options(loopback(1)));
    w.load(QString());
    QCOMPARE(w.session().preferences().myName, QStringLiteral("保存済み"));
    QVERIFY(findAction(w, "mnBeep")->isChecked());
    QVERIFY(!findAction(w, "mnMsgBeep")->isChecked());
    QVERIFY(findAction(w, "mnFormTop")->isChecked());
    QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(findAction(w, "mnDisp")->text(), QStringLiteral("接続先を隠す"));
    QVERIFY(control<QRadioButton>(w, "opSendToAll")->isVisibleTo(&w));
    QVERIFY(w.isMaximized());
    // The menu command flips the stacking and the check each time.
    w.toggleAlwaysOnTop();
    QVERIFY(!(w.windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!findAction(w, "mnFormTop")->isChecked());
    w.toggleAlwaysOnTop();
    QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    w.unload();
    // Maximised at exit: state 2 and the stored normal placement are kept.
    const std::optional<SettingsRead> back = loadSettingsFile(desktop.folder.filePath("tarnivel.dat"));
    QVERIFY(back);
    QCOMPARE(back->preferences.windowState, WindowState::Maximized);
    QCOMPARE(back->preferences.windowWidth, 9000);
    QCOMPARE(back->preferences.windowHeight, 6000);
}

void TestMainWindow::closingSavesUnlessTheNameIsEmpty()
{
    FakeDesktop desktop;
    const QString path = desktop.folder.filePath("tarnivel.dat");
    {
        MainWindow w(desktop.options(loopback(2)));
        w.load(QString());
        w.session().setMyName(QStringLiteral("なまえ,カンマ"));
        w.session().chooseAddress(QStringLiteral("198.51.100.4"));
        w.close();
    }
    std::optional<SettingsRead> read = loadSettingsFile(path);
    QVERIFY(read);
    QCOMPARE(read->preferences.myName, QStringLiteral("なまえ,カンマ"));
    QCOMPARE(read->preferences.connectAddress, QStringLiteral("198.51.100.4"));

    const QByteArray before = QFile(path).exists() ? [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }() : QByteArray();
    {
        MainWindow w(desktop.options(loopback(2)));
        w.load(QString());
        w.session().setMyName(QString());
        w.session().chooseAddress(QStringLiteral("changed"));
        w.close();
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestMainWindow::aPositionOffEveryScreenComesBack()
{
    FakeDesktop desktop;
    Preferences stored;
    stored.windowWidth = 6000;
    stored.windowHeight = 4500;
    QVERIFY(saveSettingsFile(desktop.folder.filePath("tarnivel.dat"), stored, 3000000, -2000000));
    MainWindow w(desktop.options(loopback(3)));
    w.load(QString());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(w.pos()), qPrintable(QStringLiteral("%1,%2").arg(w.x()).arg(w.y())));
    // The stored size is kept: the window shown records what it has, its central area and
    // the designed frame of 120 x 690 twips.
    const Preferences &p = w.session().preferences();
    QCOMPARE(QSize(p.windowWidth, p.windowHeight), QSize(6000, 4500));
    QCOMPARE(w.centralWidget()->size() * 15 + QSize(120, 690), QSize(6000, 4500));
}

void TestMainWindow::newNameGoesOutInTheNextGreetingAndSwitchesAreSaved()
{
    WindowCopy a(1, QStringLiteral("Noname"));
    WindowCopy b(2, QStringLiteral("B"));
    WindowCopy c(3, QStringLiteral("C"));
    renameThroughDialog(a, QStringLiteral("あたらしい名前"));
    QCOMPARE(a.session().preferences().myName, QStringLiteral("あたらしい名前"));
    findAction(a.window(), "mnBeep")->trigger();
    findAction(b.window(), "mnBeep")->trigger();

    // Hello: a dials b. Welcome: c joins through a.
    a.joinThrough(b.address());
    QTRY_COMPARE_WITH_TIMEOUT(memberNames(b), QStringList{QStringLiteral("あたらしい名前")}, JoinWaitMs);
    c.joinThrough(a.address());
    QTRY_VERIFY_WITH_TIMEOUT(memberNames(c).contains(QStringLiteral("あたらしい名前")), JoinWaitMs);
    // The connection sound, dialled or accepted, only where it is switched on.
    const QString connectSound = a.session().shippedFile(QStringLiteral("connect.wav"));
    QTRY_COMPARE(a.sound.played, (QStringList{connectSound, connectSound}));
    QTRY_COMPARE(b.sound.played.count(b.session().shippedFile(QStringLiteral("connect.wav"))), 2);
    QVERIFY(c.sound.played.isEmpty());

    // The message sound follows its switch from the next line on.
    a.sound.played.clear();
    QAction *messageSound = findAction(a.window(), "mnMsgBeep");
    messageSound->trigger();
    a.session().log().addLog(QStringLiteral("x\r\n"));
    messageSound->trigger();
    a.session().log().addLog(QStringLiteral("y\r\n"));
    QCOMPARE(a.sound.played, QStringList{a.session().shippedFile(QStringLiteral("message.wav"))});

    messageSound->trigger();
    a.window().unload();
    const std::optional<SettingsRead> saved = loadSettingsFile(a.session().settingsPath());
    QVERIFY(saved);
    QCOMPARE(saved->preferences.myName, QStringLiteral("あたらしい名前"));
    QVERIFY(saved->preferences.connectSound);
    QVERIFY(saved->preferences.messageSound);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
