// Window stacking, the splash window and the connect dialog.

#include "ui/connectdialog.h"
#include "ui/splashwindow.h"
#include "ui/windowstacking.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
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

// Types text as an input method delivers it (keyClicks cannot send Japanese).
void typeText(QWidget *target, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

class TestUiPieces : public QObject
{
    Q_OBJECT

private slots:
    void setFormTop_data();
    void setFormTop();
    void modalDialogIsNeverBehindMain_data();
    void modalDialogIsNeverBehindMain();
    void splash();
    void connectDialogOpensWithAddressSelected();
    void connectDialogResult_data();
    void connectDialogResult();
};

void TestUiPieces::setFormTop_data()
{
    QTest::addColumn<bool>("startOnTop");
    QTest::addColumn<bool>("startShown");
    QTest::addColumn<QList<bool>>("modes");

    QTest::newRow("on, shown") << false << true << QList<bool>{true};
    QTest::newRow("on, hidden window is shown in place") << false << false << QList<bool>{true};
    QTest::newRow("toggled twice is normal again") << false << true << QList<bool>{true, false};
    QTest::newRow("off, hidden on-top window") << true << false << QList<bool>{false};
}

void TestUiPieces::setFormTop()
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

void TestUiPieces::modalDialogIsNeverBehindMain_data()
{
    QTest::addColumn<bool>("alwaysOnTop");
    QTest::newRow("always on top") << true;
    QTest::newRow("normal") << false;
}

void TestUiPieces::modalDialogIsNeverBehindMain()
{
    QFETCH(bool, alwaysOnTop);
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 400, 300);
    applyTopmost(&mainWindow, alwaysOnTop);
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

void TestUiPieces::splash()
{
    QPointer<SplashWindow> splash = new SplashWindow;
    auto *picture = splash->findChild<QWidget *>(QStringLiteral("PicStart"));
    QVERIFY(picture);
    QCOMPARE(picture->size(), QSize(200, 80));
    QCOMPARE(splash->size(), QSize(200, 80));
    QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    const QPoint offCentre = splash->geometry().center() - splash->screen()->availableGeometry().center();
    QVERIFY(offCentre.manhattanLength() <= 2);

    // Opaque to its edges, and the white title really drawn over the (nowhere white) gradient.
    const QImage image = splashPicture();
    QCOMPARE(image.size(), QSize(200, 80));
    int titlePixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            QCOMPARE(qAlpha(p), 255);
            titlePixels += x < 140 && y > 10 && y < 46 && qMin(qMin(qRed(p), qGreen(p)), qBlue(p)) >= 245;
        }
    QVERIFY(titlePixels > 100);

    // Start-up order: show, keep on top, paint; then a click closes it at once.
    splash->show();
    tarnivel::setFormTop(splash, true);
    splash->paintNow();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    QTest::mouseClick(picture, Qt::RightButton, {}, QPoint(100, 40));
    QVERIFY(splash->isVisible());
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(100, 40));
    QVERIFY(!splash.isNull() && !splash->isVisible());
    closeSplash(splash); // the owner closes it too, before and after it is deleted
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(splash.isNull());
    closeSplash(splash);
}

void TestUiPieces::connectDialogOpensWithAddressSelected()
{
    const QString last = QStringLiteral("chat.example.jp");
    ConnectDialog dialog(last);
    auto *txtIP = dialog.findChild<QLineEdit *>(QStringLiteral("txtIP"));
    QCOMPARE(txtIP->selectedText(), last);

    QString selectedWhileOpen;
    whileOpen(dialog, [&] {
        selectedWhileOpen = txtIP->selectedText();
        dialog.reject();
    });
    dialog.exec();
    QCOMPARE(selectedWhileOpen, last);
    QCOMPARE(txtIP->selectionStart(), 0);
}

void TestUiPieces::connectDialogResult_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("closeBy");
    QTest::addColumn<QString>("expected"); // null: not confirmed

    const QString blanks = QStringLiteral("  ホスト.example  ");
    QTest::newRow("typing replaces, OK keeps blanks") << blanks << "ok" << blanks;
    QTest::newRow("Enter is OK") << QStringLiteral("192.168.1.20") << "enter" << QStringLiteral("192.168.1.20");
    QTest::newRow("at most 255 characters") << QString(300, u'a') << "enter" << QString(255, u'a');
    QTest::newRow("Cancel") << blanks << "cancel" << QString();
    QTest::newRow("Escape") << blanks << "escape" << QString();
}

void TestUiPieces::connectDialogResult()
{
    QFETCH(QString, typed);
    QFETCH(QString, closeBy);
    QFETCH(QString, expected);

    ConnectDialog dialog(QStringLiteral("10.1.2.3"));
    auto *txtIP = dialog.findChild<QLineEdit *>(QStringLiteral("txtIP"));
    whileOpen(dialog, [&] {
        typeText(txtIP, typed);
        if (closeBy == u"ok" || closeBy == u"cancel")
            QTest::mouseClick(dialog.findChild<QPushButton *>(closeBy == u"ok" ? "cmdOK" : "cmdCancel"), Qt::LeftButton);
        else
            QTest::keyClick(txtIP, closeBy == u"enter" ? Qt::Key_Return : Qt::Key_Escape);
    });
    const int result = dialog.exec();
    QCOMPARE(result, expected.isNull() ? int(QDialog::Rejected) : int(QDialog::Accepted));
    QCOMPARE(dialog.confirmed(), !expected.isNull());
    if (dialog.confirmed())
        QCOMPARE(dialog.address(), expected);
}

QTEST_MAIN(TestUiPieces)
#include "tst_ui_pieces.moc"
