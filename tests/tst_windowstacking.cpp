// Window stacking: always on top, and the rule that keeps a dialog above the main window.

#include "ui/connectdialog.h"
#include "ui/windowstacking.h"

#include <QTest>
#include <QTimer>

using namespace tarnivel;

namespace {

bool onTop(const QWidget &w) { return w.windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

// Runs `inside` once the dialog's event loop runs; ends the dialog anyway after a while, so a
// dialog that fails to close shows up as a failed check, not a hang.
void whileOpen(QDialog &dialog, const std::function<void()> &inside)
{
    QTimer::singleShot(0, &dialog, inside);
    QTimer::singleShot(3000, &dialog, [&dialog] { dialog.done(-1); });
}

} // namespace

class TestWindowStacking : public QObject
{
    Q_OBJECT
private slots:
    void setFormTop_data();
    void setFormTop();
    void modalDialogIsNeverBehindMain_data();
    void modalDialogIsNeverBehindMain();
};

void TestWindowStacking::setFormTop_data()
{
    QTest::addColumn<bool>("startOnTop");
    QTest::addColumn<bool>("startShown");
    QTest::addColumn<QList<bool>>("modes");

    QTest::newRow("on, shown") << false << true << QList<bool>{true};
    QTest::newRow("on, hidden window is shown in place") << false << false << QList<bool>{true};
    QTest::newRow("toggled twice is normal again") << false << true << QList<bool>{true, false};
    QTest::newRow("off, hidden on-top window") << true << false << QList<bool>{false};
}

void TestWindowStacking::setFormTop()
{
    QFETCH(bool, startOnTop);
    QFETCH(bool, startShown);
    QFETCH(QList<bool>, modes);

    QWidget window;
    window.setGeometry(123, 77, 310, 205);
    window.setWindowFlag(Qt::WindowStaysOnTopHint, startOnTop);
    window.setVisible(startShown);
    const QRect placed = window.geometry();
    const Qt::WindowFlags normalFlags = window.windowFlags() & ~Qt::WindowStaysOnTopHint;

    bool expectOnTop = startOnTop;
    bool expectShown = startShown;
    for (const bool onTop : modes) {
        tarnivel::setFormTop(&window, onTop);
        expectOnTop = onTop;
        expectShown = true;
        QCOMPARE(window.windowFlags(), expectOnTop ? normalFlags | Qt::WindowStaysOnTopHint : normalFlags);
        QCOMPARE(window.isVisible(), expectShown);
        QCOMPARE(window.geometry(), placed);
    }
    if (expectShown) { // still in place once the platform window really exists
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.geometry(), placed);
    }
}

void TestWindowStacking::modalDialogIsNeverBehindMain_data()
{
    QTest::addColumn<bool>("alwaysOnTop");
    QTest::newRow("always on top") << true;
    QTest::newRow("normal") << false;
}

void TestWindowStacking::modalDialogIsNeverBehindMain()
{
    QFETCH(bool, alwaysOnTop);
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 400, 300);
    tarnivel::setFormTop(&mainWindow, alwaysOnTop);
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    const QRect placed = mainWindow.geometry();

    ConnectDialog dialog(QStringLiteral("10.0.0.1"), &mainWindow);
    bool mainOnTopWhileOpen = true, bothShown = false;
    whileOpen(dialog, [&] {
        mainOnTopWhileOpen = onTop(mainWindow);
        bothShown = dialog.isVisible() && mainWindow.isVisible();
        dialog.reject();
    });
    QCOMPARE(execModalOverMain(dialog, &mainWindow, [&] { return alwaysOnTop; }), int(QDialog::Rejected));
    QVERIFY(!mainOnTopWhileOpen);
    QVERIFY(bothShown);
    QCOMPARE(onTop(mainWindow), alwaysOnTop);
    QVERIFY(mainWindow.isVisible());
    QCOMPARE(mainWindow.geometry(), placed);
}

QTEST_MAIN(TestWindowStacking)
#include "tst_windowstacking.moc"
