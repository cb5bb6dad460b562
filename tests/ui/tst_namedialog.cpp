// The name dialog: a long stored name shown whole, the byte limit while typing and pasting, OK.

#include "ui/namedialog.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tarnivel;

namespace {

QString times(int n, const QString &s)
{
    return s.repeated(n);
}

} // namespace

class TestNameDialog : public QObject
{
    Q_OBJECT
private slots:
    void nameDialog();
};

void TestNameDialog::nameDialog()
{
    // A name longer than the box allows (from the settings file) is shown as it is, selected.
    const QString longName = times(10, "長");
    NameDialog dialog(longName);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *box = dialog.findChild<QLineEdit *>(QStringLiteral("txtMyName"));
    QCOMPARE(box->selectedText(), longName);

    // Typed or pasted, the character that would pass 16 bytes is refused.
    for (int i = 0; i < 9; ++i)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QStringLiteral("漢"), Qt::NoModifier);
    QCOMPARE(box->text(), times(8, "漢"));
    box->setText(QStringLiteral("名"));
    QGuiApplication::clipboard()->setText(times(20, "p"));
    box->paste();
    QCOMPARE(box->text(), "名" + times(14, "p"));

    // OK with an empty box: the dialog stays, the focus goes back.
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"));
    box->clear();
    ok->setFocus();
    ok->click();
    QVERIFY(dialog.isVisible());
    QVERIFY(box->hasFocus());
    // Blanks are a name like any other.
    box->setText(QStringLiteral("   "));
    ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.name(), QStringLiteral("   "));
}

QTEST_MAIN(TestNameDialog)
#include "tst_namedialog.moc"
