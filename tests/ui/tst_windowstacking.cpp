// Window stacking: always on top, and the rule that keeps a dialog above the main window.

#include "ui/connectdialog.h"
#include "ui/windowstacking.h"

#include <QApplication>
#include <QPointer>
#include <QTest>

#include <algorithm>

using namespace tarnivel;

namespace {

bool onTop(const QWidget &w)
{
    return w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
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
    QTest::addColumn<int>("dialogs"); // open at the same time
    QTest::newRow("always on top") << true << 1;
    QTest::newRow("normal") << false << 1;
    QTest::newRow("always on top, a second dialog over the first") << true << 2;
}

void TestWindowStacking::modalDialogIsNeverBehindMain()
{
    QFETCH(bool, alwaysOnTop);
    QFETCH(int, dialogs);
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 400, 300);
    tarnivel::setFormTop(&mainWindow, alwaysOnTop);
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    const QRect placed = mainWindow.geometry();

    ModalDialogs modal(mainWindow, [&] { return alwaysOnTop; });
    QList<QPointer<QDialog>> open;
    QList<int> results;
    QList<bool> mainOnTopWhenClosed; // as each dialog's continuation finds it
    for (int i = 0; i < dialogs; ++i) {
        auto *dialog = new ConnectDialog(QStringLiteral("10.0.0.1"), &mainWindow);
        modal.show(dialog, [&](int result) {
            results << result;
            mainOnTopWhenClosed << onTop(mainWindow);
        });
        open << dialog;
    }
    // Shown at once, modal, and nothing waited for them.
    QCOMPARE(QApplication::activeModalWidget(), open.last().data());
    QVERIFY(!onTop(mainWindow));
    QVERIFY(mainWindow.isVisible());
    for (const QPointer<QDialog> &dialog : open)
        QVERIFY(dialog->isVisible());

    for (qsizetype i = open.size() - 1; i >= 0; --i)
        open.at(i)->reject();
    QCOMPARE(results, QList<int>(dialogs, QDialog::Rejected));
    // The main window comes back on top only once the last dialog has closed, before its
    // continuation runs.
    QList<bool> expected(dialogs - 1, false);
    expected << alwaysOnTop;
    QCOMPARE(mainOnTopWhenClosed, expected);
    QCOMPARE(modal.openCount(), 0);
    QCOMPARE(onTop(mainWindow), alwaysOnTop);
    QVERIFY(mainWindow.isVisible());
    QCOMPARE(mainWindow.geometry(), placed);
    // A closed dialog deletes itself.
    QTRY_VERIFY(std::none_of(open.cbegin(), open.cend(), [](const QPointer<QDialog> &d) { return !d.isNull(); }));
}

QTEST_MAIN(TestWindowStacking)
#include "tst_windowstacking.moc"
