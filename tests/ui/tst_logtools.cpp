// The log tools: lock and unlock, clear, copy and the pop-up menu, addresses, typing in the
// log, saving to a file.

#include "conversation/logfile.h"
#include "conversation/logrenderer.h"
#include "text/codepage932.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextEdit>
#include <QSignalSpy>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {
constexpr int JoinWaitMs = 10000;

// Answers the message box that the next command opens, keeping its caption and text.
void answerMessageBox(QMessageBox::StandardButton button, QStringList *seen)
{
    whenModal<QMessageBox>([=](QMessageBox *box) {
        *seen = {box->windowTitle(), box->text()};
        box->button(button)->click();
    });
}

QPoint pointAt(QTextEdit *view, int position)
{
    QTextCursor cursor(view->document());
    cursor.setPosition(position);
    return view->cursorRect(cursor).center();
}

// Chooses a path, or cancels, once told to; remembers the name it was offered.
class ScriptedChooser : public SavePathChooser
{
public:
    void chooseSavePath(const QString &proposedName, Chosen chosen) override
    {
        offered = proposedName;
        m_chosen = std::move(chosen);
    }
    void answer(const std::optional<QString> &path) { std::exchange(m_chosen, {})(path); }
    QString offered;

private:
    Chosen m_chosen;
};
} // namespace

class TestLogTools : public QObject
{
    Q_OBJECT
private slots:
    void lockHoldsArrivingLinesClearKeepsThemUnlockShowsThemFormatted();
    void addressClickSelectsAndDoubleClickOpens_data();
    void addressClickSelectsAndDoubleClickOpens();
    void rightButtonMenuCopyAndTyping();
    void keyboardMovesInTheMemberListShowTheAddress();
    void saveWritesCodePage932OrNothing_data();
    void saveWritesCodePage932OrNothing();
};

void TestLogTools::lockHoldsArrivingLinesClearKeepsThemUnlockShowsThemFormatted()
{
    WindowCopy a(1, QStringLiteral("A"));
    WindowCopy b(2, QStringLiteral("B"));
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(b.namedMemberCount(), 1, JoinWaitMs);
    QTRY_COMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済"));
    findAction(a.window(), "mnMsgBeep")->trigger();
    QAction *lock = findAction(a.window(), "mnLock");
    const QString before = render(a.session().logDocument(), RenderMarks::UnderlineAndEmphasis);

    QTest::keyClick(control<QLineEdit>(a.window(), "txtInput"), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済 [ロック]"));
    QCOMPARE(lock->text(), QStringLiteral("画面ロックの解除"));

    // One line at a time, so that no two arrive in one piece.
    const QTextDocument &held = a.session().log().held();
    b.say(QStringLiteral("見て http://example.jp/a?b=1です"));
    QTRY_COMPARE(held.blockCount(), 2);
    b.window().togglePeerColumn();
    b.window().setSendToChosen(true);
    control<QListWidget>(b.window(), "lbListChk")->item(0)->setCheckState(Qt::Checked);
    b.say(QStringLiteral("ないしょ"));
    QTRY_COMPARE(held.blockCount(), 3);
    b.window().setSendToChosen(false);
    b.say(QStringLiteral("plain"));
    QTRY_COMPARE(held.blockCount(), 4);
    QCOMPARE(render(a.session().logDocument(), RenderMarks::UnderlineAndEmphasis), before);
    QVERIFY(a.sound.played.isEmpty());

    // Sending is refused while locked.
    control<QLineEdit>(a.window(), "txtInput")->setText(QStringLiteral("待って"));
    a.session().composer().enterPressed();
    QCOMPARE(control<QLineEdit>(a.window(), "txtInput")->text(), QStringLiteral("待って"));

    // Clearing asks first; OK empties the window but not what is held.
    QStringList box;
    answerMessageBox(QMessageBox::Cancel, &box);
    findAction(a.window(), "mnClearLog")->trigger();
    QTRY_COMPARE(box,
                 (QStringList{QStringLiteral("ログのクリア"),
                              QStringLiteral("現在のログをクリアします\n(大切なログは先に保存しましょう)")}));
    QCOMPARE(render(a.session().logDocument(), RenderMarks::UnderlineAndEmphasis), before);
    answerMessageBox(QMessageBox::Ok, &box);
    findAction(a.window(), "mnClearLog")->trigger();
    QTRY_VERIFY(a.logText().isEmpty());

    lock->trigger();
    QCOMPARE(render(a.session().logDocument(), RenderMarks::UnderlineAndEmphasis),
             QStringLiteral("B> 見て ⟦http://example.jp/a?b=1⟧です\n«B（秘）: ないしょ»\nB> plain\n"));
    QCOMPARE(a.title(), QStringLiteral("たるにべ - 1人接続済"));
    QCOMPARE(lock->text(), QStringLiteral("画面ロック"));
    QCOMPARE(a.sound.played, QStringList{a.session().shippedFile(QStringLiteral("message.wav"))});
    QVERIFY(held.isEmpty());
}

void TestLogTools::addressClickSelectsAndDoubleClickOpens_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("into");     // characters into the address where the click lands
    QTest::addColumn<bool>("selects"); // a single click selects it (a double click always opens it)
    QTest::newRow("start of the log") << QStringLiteral("http://a.jp/x\r\nnext\r\n") << QStringLiteral("http://a.jp/x")
                                      << 4 << true;
    QTest::newRow("middle of a line") << QStringLiteral("hello\r\ntaro> see http://b.jp/p?q=1 now\r\n")
                                      << QStringLiteral("http://b.jp/p?q=1") << 9 << true;
    QTest::newRow("next to Japanese") << QStringLiteral("花子> これhttp://c.jp/です\r\n")
                                      << QStringLiteral("http://c.jp/") << 11 << true;
    // The character before the insertion point decides a single click: here the blank.
    QTest::newRow("in front of its first letter")
        << QStringLiteral("x http://d.jp y\r\n") << QStringLiteral("http://d.jp") << 0 << false;
    QTest::newRow("behind its last letter")
        << QStringLiteral("x http://e.jp y\r\n") << QStringLiteral("http://e.jp") << 11 << true;
    // A line past 1024 characters goes on in a continuation block; the address runs on with it.
    const QString longAddress = QStringLiteral("http://f.jp/") + QString(40, u'p');
    const QString longLine = QString(1010, u'x') + u' ' + longAddress + QStringLiteral(" end\r\n");
    QTest::newRow("long line, in its first block") << longLine << longAddress << 5 << true;
    QTest::newRow("long line, in its continuation") << longLine << longAddress << 30 << true;
}

void TestLogTools::addressClickSelectsAndDoubleClickOpens()
{
    QFETCH(QString, log);
    QFETCH(QString, address);
    QFETCH(int, into);
    QFETCH(bool, selects);
    WindowCopy c(1, QStringLiteral("A"));
    c.window().show();
    c.session().log().addLog(log);
    QTextEdit *view = control<QTextEdit>(c.window(), "txtWin");
    // The log before the address has no continuation blocks: text and document positions agree.
    const int start = int(c.logText().indexOf(address));
    const int blockBreak = start + into > 1024 + int(c.logText().lastIndexOf(u'\n', start)) ? 1 : 0;
    const QPoint point = pointAt(view, start + into + blockBreak);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(logText(view->textCursor()), selects ? address : QString());
    QVERIFY(c.urlOpener.opened.isEmpty());

    // QTest leaves out the release that ends a real double click.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(c.urlOpener.opened.size(), 1);
    QCOMPARE(c.urlOpener.opened.first().scheme(), QStringLiteral("http"));
    QCOMPARE(c.urlOpener.opened.first().toString(), address);
    QVERIFY(!view->textCursor().hasSelection());

    // Plain text (every row ends with some) selects nothing and opens nothing.
    const QPoint plain = pointAt(view, int(c.logText().size()) - 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, plain);
    QVERIFY(!view->textCursor().hasSelection());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, plain);
    QCOMPARE(c.urlOpener.opened.size(), 1);
}

void TestLogTools::rightButtonMenuCopyAndTyping()
{
    WindowCopy c(1, QStringLiteral("A"));
    c.window().show();
    QApplication::setActiveWindow(&c.window());
    QVERIFY(QTest::qWaitForWindowActive(&c.window()));
    c.session().log().addLog(QStringLiteral("こんにちは world\r\n"));
    QTextEdit *view = control<QTextEdit>(c.window(), "txtWin");
    auto *menu = c.window().findChild<QMenu *>(QStringLiteral("mnEdit"));
    QAction *copy = findAction(c.window(), "mnCopy");

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pointAt(view, 2));
    QVERIFY(!menu->isVisible());
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, pointAt(view, 2));
    QVERIFY(menu->isVisible());
    QVERIFY(!copy->isEnabled());
    menu->hide();

    QTextCursor selection(view->document());
    selection.setPosition(3);
    selection.setPosition(8, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, pointAt(view, 4));
    QVERIFY(menu->isVisible());
    QVERIFY(copy->isEnabled());
    // The right button leaves the selection as it was.
    QCOMPARE(view->textCursor().selectedText(), QStringLiteral("ちは wo"));
    menu->hide();
    copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ちは wo"));

    // Typing in the log types into the input box, literally.
    control<QLineEdit>(c.window(), "txtInput")->setText(QStringLiteral("a"));
    view->setFocus();
    QTest::keyClick(view, '+');
    QVERIFY(control<QLineEdit>(c.window(), "txtInput")->hasFocus());
    QTest::keyClick(view, '{');
    QTest::sendKeyEvent(QTest::Click, view, Qt::Key_unknown, QStringLiteral("あ"), Qt::NoModifier);
    QCOMPARE(control<QLineEdit>(c.window(), "txtInput")->text(), QStringLiteral("a+{あ"));
    // Whatever the key: Backspace deletes there, Enter sends the line.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(control<QLineEdit>(c.window(), "txtInput")->text(), QStringLiteral("a+{"));
    QSignalSpy entered(control<QLineEdit>(c.window(), "txtInput"), &QLineEdit::returnPressed);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(entered.count(), 1);
}

void TestLogTools::keyboardMovesInTheMemberListShowTheAddress()
{
    WindowCopy a(1, QStringLiteral("A"));
    WindowCopy b(2, QStringLiteral("B"));
    a.window().togglePeerColumn();
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(a.members(), QStringList{QStringLiteral("B")}, JoinWaitMs);
    QVERIFY(control<QLineEdit>(a.window(), "txtShowIP")->text().isEmpty());
    QListWidget *list = control<QListWidget>(a.window(), "lbList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(control<QLineEdit>(a.window(), "txtShowIP")->text(), b.address());
}

void TestLogTools::saveWritesCodePage932OrNothing_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("target"); // inside the test folder
    QTest::addColumn<bool>("written");
    QTest::newRow("chosen") << true << QStringLiteral("log.txt") << true;
    QTest::newRow("cancelled") << false << QString() << false;
    QTest::newRow("folder missing") << true << QStringLiteral("no/such/log.txt") << false;
}

void TestLogTools::saveWritesCodePage932OrNothing()
{
    QFETCH(bool, chosen);
    QFETCH(QString, target);
    QFETCH(bool, written);
    QTemporaryDir folder;
    WindowCopy c(1, QStringLiteral("A"));
    const QString text = QStringLiteral("A> 表示～①ｶﾅ http://a.jp\r\n\x01"
                                        "B（秘）: 秘\r\n");
    c.session().log().addLog(text);
    ScriptedChooser chooser;
    std::optional<bool> saved;
    logfile::save(c.session().logDocument(), chooser, QDate(2024, 3, 5), [&saved](bool ok) { saved = ok; });
    QCOMPARE(chooser.offered, QStringLiteral("240305.txt"));
    // Nothing is written before the answer; what the log holds then is what is saved.
    QVERIFY(!saved);
    c.session().log().addLog(QStringLiteral("end"));
    chooser.answer(chosen ? std::optional<QString>(folder.filePath(target)) : std::nullopt);
    QCOMPARE(saved, std::optional<bool>(written));
    QDir dir(folder.path());
    if (!written) {
        QVERIFY(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        return;
    }
    QFile file(folder.filePath(target));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(
        bytes,
        QByteArray(
            "A> \x95\x5c\x8e\xa6\x81\x60\x87\x40\xb6\xc5 http://a.jp\r\nB\x81\x69\x94\xe9\x81\x6a: \x94\xe9\r\nend"));
    QCOMPARE(cp932::decode(bytes), QString(text).remove(u'\x01') + QStringLiteral("end"));
}

QTEST_MAIN(TestLogTools)
#include "tst_logtools.moc"
