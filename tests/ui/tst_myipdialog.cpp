// The own-address dialog: what it shows, how it switches the lookup method, what it stores.

#include "address/ownaddress.h"
#include "model/preferences.h"
#include "desktop/clipboard.h"
#include "desktop/dialup.h"
#include "ui/myipdialog.h"
#include "fakes.h"
#include "scriptedhttpserver.h"

#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using tarnivel::test::FixedDialup;
using tarnivel::test::RecordingClipboard;
using tarnivel::test::ScriptedHttpServer;

namespace {

// One dialog with everything it talks to.
struct Fixture
{
    ScriptedHttpServer server;
    Preferences prefs;
    FixedDialup dialup;
    RecordingClipboard clipboard;
    OwnAddress own{prefs, dialup, QHostAddress()};
    int warnings = 0;

    QString serverUrl() const { return server.url(QStringLiteral("/who")); }

    std::unique_ptr<MyIpDialog> open(bool confirmWarning = true, const QString &externalAddress = QString())
    {
        // As the menu command does: the address is looked up, then the dialog shows it.
        bool found = false;
        own.findMyAddress(&own, [&found] { found = true; });
        if (!QTest::qWaitFor([&found] { return found; }, 10000))
            qFatal("the address lookup never ended");
        auto dialog = std::make_unique<MyIpDialog>(own, clipboard, externalAddress);
        dialog->setServerWarning([this, confirmWarning](QWidget *, const std::function<void(bool)> &answered) {
            ++warnings;
            answered(confirmWarning);
        });
        // Shown as the menu command shows it (without blocking): the close box acts on a visible dialog.
        dialog->setModal(true);
        dialog->show();
        return dialog;
    }
};

template <typename T>
T *child(QWidget *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QColor background(QLineEdit *box)
{
    return box->palette().color(QPalette::Base);
}

QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

QColor windowBackground()
{
    return QApplication::palette().color(QPalette::Base);
}

} // namespace

class TestMyIpDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadWithoutAddressServer();
    void loadWithAddressServer();
    void unknownAddressShowsNotConnected();
    void copyButtonCopiesAddressShownAtOpening();
    void serverThenCancelKeepsNormalMethod();
    void serverConfirmedWithEmptyUrlStoresNothing();
    void serverConfirmedUrlIsStoredOnOk();
    void normalMethodClearsServerAtOnce();
    void warningBoxTextsAndAnswers();
    void routerOutsideAddressBesideOwn_data();
    void routerOutsideAddressBesideOwn();
};

void TestMyIpDialog::initTestCase()
{
    // The colour checks need the button face to differ from the box background.
    QVERIFY(buttonFace() != windowBackground());
}

void TestMyIpDialog::loadWithoutAddressServer()
{
    Fixture f;
    f.dialup.value = QStringLiteral("10.64.3.9");
    auto dialog = f.open();

    QCOMPARE(dialog->windowTitle(), QStringLiteral("あなたの IPアドレス"));
    auto *txtMyIP = child<QLineEdit>(dialog.get(), "txtMyIP");
    QCOMPARE(txtMyIP->text(), QStringLiteral("10.64.3.9"));
    QVERIFY(txtMyIP->isReadOnly());
    QCOMPARE(background(txtMyIP), buttonFace());
    QCOMPARE(child<QPushButton>(dialog.get(), "cmdCopyIP")->text(), QStringLiteral("IPのコピー"));
    auto *optNomal = child<QRadioButton>(dialog.get(), "optNomal");
    auto *optServer = child<QRadioButton>(dialog.get(), "optServer");
    QCOMPARE(optNomal->text(), QStringLiteral("たるにべで取得（通常はこちら）"));
    QCOMPARE(optServer->text(), QStringLiteral("サーバから取得"));
    QVERIFY(optNomal->isChecked());
    QVERIFY(!optServer->isChecked());
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");
    QVERIFY(!txtIPServer->isEnabled());
    QCOMPARE(background(txtIPServer), buttonFace());
    auto *ok = child<QPushButton>(dialog.get(), "OKButton");
    QVERIFY(ok->isDefault());
    QVERIFY(!child<QPushButton>(dialog.get(), "cmdCopyIP")->isDefault());
    QVERIFY(f.server.requestLines.isEmpty());

    ok->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(f.prefs.addressServer, QString());
    QCOMPARE(f.warnings, 0);
}

void TestMyIpDialog::loadWithAddressServer()
{
    Fixture f;
    f.prefs.addressServer = f.serverUrl();
    f.server.otherwise = ScriptedHttpServer::reply("203.0.113.7");
    auto dialog = f.open();

    QVERIFY(child<QRadioButton>(dialog.get(), "optServer")->isChecked());
    QVERIFY(!child<QRadioButton>(dialog.get(), "optNomal")->isChecked());
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");
    QVERIFY(txtIPServer->isEnabled());
    QCOMPARE(background(txtIPServer), windowBackground());
    QCOMPARE(txtIPServer->text(), f.serverUrl());
    QCOMPARE(child<QLineEdit>(dialog.get(), "txtMyIP")->text(), QStringLiteral("203.0.113.7"));
    QCOMPARE(f.server.requestLines.size(), 1);
    QCOMPARE(f.warnings, 0);

    // Closing with the close box keeps the server, as edited.
    txtIPServer->setText(f.serverUrl() + "2");
    QCOMPARE(f.prefs.addressServer, f.serverUrl());
    dialog->close();
    QCOMPARE(f.prefs.addressServer, f.serverUrl() + "2");
}

void TestMyIpDialog::unknownAddressShowsNotConnected()
{
    Fixture f;
    f.prefs.addressServer = f.serverUrl();
    f.server.otherwise = ScriptedHttpServer::reply("not an address");
    auto dialog = f.open();
    QCOMPARE(child<QLineEdit>(dialog.get(), "txtMyIP")->text(), QStringLiteral("未接続"));

    child<QPushButton>(dialog.get(), "cmdCopyIP")->click();
    QCOMPARE(f.clipboard.calls, QStringList());
}

void TestMyIpDialog::copyButtonCopiesAddressShownAtOpening()
{
    Fixture f;
    f.dialup.value = QStringLiteral("10.64.3.9");
    auto dialog = f.open();

    // A later lookup elsewhere (a join answered meanwhile) does not change what is copied.
    f.dialup.value = QStringLiteral("10.99.9.9");
    f.own.findMyAddress();
    QCOMPARE(f.own.myAddress(), QStringLiteral("10.99.9.9"));

    child<QPushButton>(dialog.get(), "cmdCopyIP")->click();
    QCOMPARE(f.clipboard.calls, QStringList({"clear", "set 10.64.3.9"}));
}

void TestMyIpDialog::serverThenCancelKeepsNormalMethod()
{
    Fixture f;
    auto dialog = f.open(false);
    auto *optNomal = child<QRadioButton>(dialog.get(), "optNomal");
    auto *optServer = child<QRadioButton>(dialog.get(), "optServer");
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");

    optServer->click();
    QCOMPARE(f.warnings, 1);
    QVERIFY(optNomal->isChecked());
    QVERIFY(!optServer->isChecked());
    QVERIFY(!txtIPServer->isEnabled());
    QCOMPARE(background(txtIPServer), buttonFace());
    QCOMPARE(dialog->focusWidget(), child<QPushButton>(dialog.get(), "OKButton"));
    QCOMPARE(f.prefs.addressServer, QString());

    dialog->close();
    QCOMPARE(f.prefs.addressServer, QString());
}

void TestMyIpDialog::serverConfirmedWithEmptyUrlStoresNothing()
{
    Fixture f;
    auto dialog = f.open(true);
    auto *optServer = child<QRadioButton>(dialog.get(), "optServer");
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");

    optServer->click();
    QCOMPARE(f.warnings, 1);
    QVERIFY(optServer->isChecked());
    QVERIFY(txtIPServer->isEnabled());
    QCOMPARE(background(txtIPServer), windowBackground());
    QCOMPARE(dialog->focusWidget(), txtIPServer);

    dialog->close();
    QCOMPARE(f.prefs.addressServer, QString());
}

void TestMyIpDialog::serverConfirmedUrlIsStoredOnOk()
{
    Fixture f;
    auto dialog = f.open(true);
    child<QRadioButton>(dialog.get(), "optServer")->click();
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");
    QTest::keyClicks(txtIPServer, f.serverUrl());
    // The URL is used from the next lookup on: nothing was asked while the dialog was open.
    QVERIFY(f.server.requestLines.isEmpty());

    child<QPushButton>(dialog.get(), "OKButton")->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(f.prefs.addressServer, f.serverUrl());
}

void TestMyIpDialog::normalMethodClearsServerAtOnce()
{
    Fixture f;
    f.prefs.addressServer = f.serverUrl();
    auto dialog = f.open(false);
    auto *optNomal = child<QRadioButton>(dialog.get(), "optNomal");
    auto *optServer = child<QRadioButton>(dialog.get(), "optServer");
    auto *txtIPServer = child<QLineEdit>(dialog.get(), "txtIPServer");

    optNomal->click();
    QCOMPARE(f.prefs.addressServer, QString());
    QVERIFY(!txtIPServer->isEnabled());
    QCOMPARE(background(txtIPServer), buttonFace());

    // With the server gone, choosing it again warns first; cancelling goes back to normal.
    optServer->click();
    QCOMPARE(f.warnings, 1);
    QVERIFY(optNomal->isChecked());
    dialog->close();
    QCOMPARE(f.prefs.addressServer, QString());
}

void TestMyIpDialog::warningBoxTextsAndAnswers()
{
    for (const auto answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        std::optional<bool> confirmed;
        MyIpDialog::showServerWarning(nullptr, [&confirmed](bool goOn) { confirmed = goOn; });
        QVERIFY(!confirmed); // nothing is answered before the user
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(answer)->click();
        QTRY_VERIFY(confirmed.has_value());
        QCOMPARE(title, QStringLiteral("tarnivel"));
        QCOMPARE(text,
                 QStringLiteral("これは、通常使用時にIPアドレスが取得できない場合など\n"
                                "特別な場合のみ設定してください。"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(*confirmed, answer == QMessageBox::Ok);
    }
}

void TestMyIpDialog::routerOutsideAddressBesideOwn_data()
{
    QTest::addColumn<QString>("external");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ports forwarded") << QStringLiteral("198.51.100.1") << QStringLiteral("198.51.100.1");
    QTest::newRow("no forwarding") << QString() << QString();
    // A router's answer is shown as it came, on one line: never as a heading.
    QTest::newRow("markup and a line break")
        << QStringLiteral("<h1>198.51.100.1</h1>\r\n●") << QStringLiteral("<h1>198.51.100.1</h1>␍␊●");
}

void TestMyIpDialog::routerOutsideAddressBesideOwn()
{
    // The router's outside address is shown as well; the own address and what is copied stay.
    QFETCH(QString, external);
    QFETCH(QString, shown);
    Fixture f;
    f.dialup.value = QStringLiteral("192.0.2.2");
    auto dialog = f.open(true, external);
    auto *label = child<QLabel>(dialog.get(), "lblExternalIP");
    QCOMPARE(label->isVisible(), !external.isEmpty());
    QCOMPARE(label->textFormat(), Qt::PlainText);
    if (!external.isEmpty())
        QCOMPARE(label->text(), QStringLiteral("ルータの外側: ") + shown);
    QCOMPARE(child<QLineEdit>(dialog.get(), "txtMyIP")->text(), QStringLiteral("192.0.2.2"));
    child<QPushButton>(dialog.get(), "cmdCopyIP")->click();
    QCOMPARE(f.clipboard.calls, QStringList({"clear", "set 192.0.2.2"}));
}

QTEST_MAIN(TestMyIpDialog)
#include "tst_myipdialog.moc"
