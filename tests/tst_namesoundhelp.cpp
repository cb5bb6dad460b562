// The display name (its byte limit, its dialog, the greeting that carries it), the two sound
// switches and the help command.

#include "model/namelimit.h"
#include "model/settingsfile.h"
#include "session/help.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"
#include "ui/namedialog.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
constexpr int JoinWaitMs = 10000;

QString times(int n, const QString &s) { return s.repeated(n); }

// Renames a copy through its name command, typing the name into the dialog.
void renameThroughDialog(WindowCopy &c, const QString &name)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (auto *dialog = qobject_cast<NameDialog *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtMyName"));
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, name, Qt::NoModifier);
            dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        }
    });
    timer->start(10);
    findAction(c.window(), "mnName")->trigger();
}

QStringList memberNames(WindowCopy &c)
{
    QStringList names;
    for (const Member &m : c.session().mesh().members())
        names << m.name;
    return names;
}
} // namespace

class TestNameSoundHelp : public QObject
{
    Q_OBJECT
private slots:
    void nameLimit_data();
    void nameLimit();
    void nameDialog();
    void newNameGoesOutInTheNextGreetingAndSwitchesAreSaved();
    void helpOpensTheOldOrTheShippedFile_data();
    void helpOpensTheOldOrTheShippedFile();
};

void TestNameSoundHelp::nameLimit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("keptCursor");
    const QString a15 = times(15, "a"), a16 = times(16, "a"), a20 = times(20, "a");
    QTest::newRow("16th single-byte") << a15 << a16 << 16 << a16 << 16;
    QTest::newRow("17th single-byte") << a16 << a16 + "a" << 17 << a16 << 16;
    QTest::newRow("9th double-byte") << times(8, "名") << times(8, "名") + "前" << 9 << times(8, "名") << 8;
    QTest::newRow("double-byte after 15 single") << a15 << a15 + "あ" << 16 << a15 << 15;
    QTest::newRow("single after 7 double and 1 single") << times(7, "あ") + "a" << times(7, "あ") + "ab" << 9
                                                        << times(7, "あ") + "ab" << 9;
    QTest::newRow("half-width kana are single-byte") << a15 << a15 + "ｶ" << 16 << a15 + "ｶ" << 16;
    QTest::newRow("typed in the middle") << a16 << "aaa" + QString("x") + times(13, "a") << 4 << a16 << 3;
    QTest::newRow("paste keeps what fits") << "名前" << "名前" + times(16, "b") << 18 << "名前" + times(12, "b") << 14;
    QTest::newRow("paste stops at a double-byte") << times(14, "a") << times(14, "a") + "bあc" << 17
                                                  << times(14, "a") + "b" << 15;
    // A character outside the Basic Multilingual Plane is one character ('?' in code page 932),
    // never cut in half.
    QTest::newRow("non-BMP character at the limit") << a15 << a15 + "😀x" << 18 << a15 + "😀" << 17;
    QTest::newRow("non-BMP character past the limit") << a16 << a16 + "😀" << 18 << a16 << 16;
    QTest::newRow("paste over the selection") << "Noname" << times(20, "x") << 20 << times(16, "x") << 16;
    QTest::newRow("long name from the settings") << a20 << a20 << 0 << a20 << 0;
    QTest::newRow("typing into a long name") << a20 << a20 + "a" << 5 << a20 << 4;
    QTest::newRow("deleting from a long name") << a20 << times(19, "a") << 5 << times(19, "a") << 5;
}

void TestNameSoundHelp::nameLimit()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, cursor);
    QFETCH(QString, kept);
    QFETCH(int, keptCursor);
    const namelimit::NameEdit fitted = namelimit::fitEdit(before, after, cursor);
    QCOMPARE(fitted.text, kept);
    QCOMPARE(fitted.cursor, keptCursor);
}

void TestNameSoundHelp::nameDialog()
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

void TestNameSoundHelp::newNameGoesOutInTheNextGreetingAndSwitchesAreSaved()
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

void TestNameSoundHelp::helpOpensTheOldOrTheShippedFile_data()
{
    // Files as "program/<name>" (beside the settings) or "shipped/<name>".
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("desktopOpens");
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<bool>("logged");
    const QString chm = help::oldHelpFileName(), html = help::helpFileName();
    const QString programChm = "program/" + chm, shippedChm = "shipped/" + chm, shippedHtml = "shipped/" + html;
    QTest::newRow("old help first") << QStringList{shippedChm, shippedHtml} << true << QStringList{shippedChm} << false;
    QTest::newRow("old help in the program folder") << QStringList{programChm, shippedHtml} << true << QStringList{programChm}
                                                    << false;
    QTest::newRow("program folder before the shipped one")
        << QStringList{programChm, shippedChm, shippedHtml} << false << QStringList{programChm, shippedChm, shippedHtml} << true;
    QTest::newRow("shipped help") << QStringList{shippedHtml} << true << QStringList{shippedHtml} << false;
    // Only the old help is looked for beside the settings.
    QTest::newRow("new help beside the settings") << QStringList{"program/" + html} << true << QStringList{} << true;
    QTest::newRow("old help will not open") << QStringList{shippedChm, shippedHtml} << false
                                            << QStringList{shippedChm, shippedHtml} << true;
    QTest::newRow("no help at all") << QStringList{} << true << QStringList{} << true;
}

void TestNameSoundHelp::helpOpensTheOldOrTheShippedFile()
{
    QFETCH(QStringList, present);
    QFETCH(bool, desktopOpens);
    QFETCH(QStringList, tried);
    QFETCH(bool, logged);
    WindowCopy c(1, QStringLiteral("A"));
    const auto path = [&c](const QString &file) {
        const QString name = file.section(u'/', 1);
        return file.startsWith(u"program/") ? c.session().programFile(name) : c.session().shippedFile(name);
    };
    for (const QString &file : present)
        QVERIFY(QFile(path(file)).open(QIODevice::WriteOnly));
    c.urlOpener.accepts = desktopOpens;
    c.session().setMessageSound(true);
    c.window().show();
    QApplication::setActiveWindow(&c.window());
    QVERIFY(QTest::qWaitForWindowActive(&c.window()));
    c.sound.played.clear();
    QTest::keyClick(c.window().input(), Qt::Key_F1);
    QStringList opened;
    for (const QUrl &url : c.urlOpener.opened)
        opened << url.toLocalFile();
    QStringList expected;
    for (const QString &file : tried)
        expected << path(file);
    QCOMPARE(opened, expected);
    const QString line = help::cannotOpenLine(c.session().shippedFile(help::helpFileName()));
    QCOMPARE(c.logText().count(QString(line).remove(u'\r')), logged ? 1 : 0);
    // The line says what the desktop did; no message came, so no message sound.
    QVERIFY2(c.sound.played.isEmpty(), qPrintable(c.sound.played.join(u' ')));
}

QTEST_MAIN(TestNameSoundHelp)
#include "tst_namesoundhelp.moc"
