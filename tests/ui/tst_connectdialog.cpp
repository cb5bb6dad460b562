// The connect dialog: the last address selected, what OK, Enter, Cancel and Escape give.

#include "ui/connectdialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarnivel;

namespace {

// Types text as an input method delivers it (keyClicks cannot send Japanese).
void typeText(QWidget *target, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

class TestConnectDialog : public QObject
{
    Q_OBJECT
private slots:
    void connectDialogOpensWithAddressSelected();
    void connectDialogResult_data();
    void connectDialogResult();
};

void TestConnectDialog::connectDialogOpensWithAddressSelected()
{
    const QString last = QStringLiteral("chat.example.jp");
    ConnectDialog dialog(last);
    auto *txtIP = dialog.findChild<QLineEdit *>(QStringLiteral("txtIP"));
    QCOMPARE(txtIP->selectedText(), last);

    // Shown as the connect command shows it: modal, returning at once.
    dialog.open();
    QVERIFY(dialog.isVisible());
    const QString selectedWhileOpen = txtIP->selectedText();
    const int startWhileOpen = txtIP->selectionStart();
    dialog.reject();
    QCOMPARE(selectedWhileOpen, last);
    QCOMPARE(startWhileOpen, 0);
    QVERIFY(!dialog.isVisible());
}

void TestConnectDialog::connectDialogResult_data()
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

void TestConnectDialog::connectDialogResult()
{
    QFETCH(QString, typed);
    QFETCH(QString, closeBy);
    QFETCH(QString, expected);

    ConnectDialog dialog(QStringLiteral("10.1.2.3"));
    auto *txtIP = dialog.findChild<QLineEdit *>(QStringLiteral("txtIP"));
    int result = -1;
    QObject::connect(&dialog, &QDialog::finished, [&result](int r) { result = r; });
    dialog.open();
    typeText(txtIP, typed);
    if (closeBy == u"ok" || closeBy == u"cancel")
        QTest::mouseClick(dialog.findChild<QPushButton *>(closeBy == u"ok" ? "cmdOK" : "cmdCancel"), Qt::LeftButton);
    else
        QTest::keyClick(txtIP, closeBy == u"enter" ? Qt::Key_Return : Qt::Key_Escape);
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(result, expected.isNull() ? int(QDialog::Rejected) : int(QDialog::Accepted));
    QCOMPARE(dialog.confirmed(), !expected.isNull());
    if (dialog.confirmed())
        QCOMPARE(dialog.address(), expected);
}

QTEST_MAIN(TestConnectDialog)
#include "tst_connectdialog.moc"
