// The About box: its look, the hidden word, the animations, the messages and their draw.

#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"
#include "ui/aboutbox.h"
#include "ui/aboutmessages.h"
#include "ui/hiddenword.h"
#include "ui/splashwindow.h"

#include <QAction>
#include <QPushButton>
#include <QRandomGenerator>
#include <array>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

const QString ConnectWav = QStringLiteral("/shipped/connect.wav");

// A script of what the user does on the icon: 'v' presses a mouse button, '^' lets it go,
// anything else is typed (a control character as its key: Backspace, Tab, Enter, Esc or
// Ctrl with a letter).
void play(AboutBox &box, const QString &script)
{
    for (const QChar c : script) {
        if (c == u'v') {
            QTest::mousePress(box.icon(), Qt::LeftButton);
        } else if (c == u'^') {
            QTest::mouseRelease(box.icon(), Qt::LeftButton);
        } else if (c.unicode() < 0x20) {
            const auto [key, modifiers] = [c]() -> std::pair<Qt::Key, Qt::KeyboardModifiers> {
                switch (c.unicode()) {
                case u'\b':
                    return {Qt::Key_Backspace, Qt::NoModifier};
                case u'\t':
                    return {Qt::Key_Tab, Qt::NoModifier};
                case u'\r':
                    return {Qt::Key_Return, Qt::NoModifier};
                case 0x1b:
                    return {Qt::Key_Escape, Qt::NoModifier};
                default:
                    return {Qt::Key(Qt::Key_A + c.unicode() - 1), Qt::ControlModifier};
                }
            }();
            QTest::sendKeyEvent(QTest::Click, box.icon(), key, QString(c), modifiers);
        } else {
            QTest::keyClick(box.icon(), c.toLatin1());
        }
    }
}

} // namespace

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void hiddenWord_data();
    void hiddenWord();
    void openedFromTheMenu();
    void wordHidesTheIconAndTheButtonPutsItBack();
    void messageForEachDraw_data();
    void messageForEachDraw();
    void drawsReachEveryMessage();
    void hiddenButtonFromTheKeyboard();
    void titleShowsTheStartPictureModally();
    void closingDuringTheAnimation();
};

void TestAboutBox::hiddenWord_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("state");
    QTest::newRow("t a r n in one hold") << "vtarn" << int(HiddenWord::Complete);
    QTest::newRow("either case") << "vTaRN" << int(HiddenWord::Complete);
    QTest::newRow("no hold") << "tarn" << 0;
    QTest::newRow("let go between letters") << "vta^vrn" << 0;
    QTest::newRow("let go resets") << "vtar^" << 0;
    QTest::newRow("repeated letter") << "vttarn" << 0;
    QTest::newRow("wrong letter") << "vtaxrn" << 0;
    QTest::newRow("three letters") << "vtar" << 3;
    QTest::newRow("starting over after a wrong letter") << "vtxtarn" << int(HiddenWord::Complete);
    QTest::newRow("complete stays complete") << "vtarnx^vt" << int(HiddenWord::Complete);
    // Keys that type a control character start the word over; those the dialog takes do not.
    QTest::newRow("Backspace resets") << "vtar\b" << 0;
    QTest::newRow("Ctrl+letter resets") << "vta\x01" << 0;
    QTest::newRow("Ctrl+letter, then the word") << "vt\x12tarn" << int(HiddenWord::Complete);
    QTest::newRow("Tab does not reset") << "vtar\t" << 3;
    QTest::newRow("Enter does not reset") << "vtar\r" << 3;
    QTest::newRow("Esc does not reset") << "vtar\x1b" << 3;
}

void TestAboutBox::hiddenWord()
{
    QFETCH(QString, script);
    RecordingSound sound;
    AboutBox box(sound, ConnectWav);
    box.setAnimationSpeed(1000);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    play(box, script);
    QTEST(box.word().state(), "state");
}

void TestAboutBox::openedFromTheMenu()
{
    WindowCopy c(1, QStringLiteral("A"));
    findAction(c.window(), "mnVer")->trigger();
    {
        auto *box = qobject_cast<AboutBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->objectName(), QStringLiteral("frmVer"));
        QCOMPARE(box->windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(box->size(), QSize(240, 118));
        QCOMPARE(box->titleLabel()->text(), QStringLiteral("たるにべ    Ver 2.83"));
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("lblName"))->text(), QStringLiteral("Velka's Soft"));
        QCOMPARE(box->icon()->geometry(), QRect(16, 16, 32, 32));
        QCOMPARE(box->icon()->pixmap().deviceIndependentSize(), QSizeF(32, 32));
        QCOMPARE(box->titleLabel()->geometry(), QRect(72, 16, 153, 33));
        QCOMPARE(box->titleButton()->geometry(), QRect(16, 88, 92, 23));
        QCOMPARE(box->okButton()->geometry(), QRect(136, 88, 92, 23));
        QCOMPARE(box->hiddenButton()->geometry(), QRect(16, 150, 92, 23));
        QCOMPARE(box->hiddenButton()->text(), QStringLiteral("ここに、ゐるよ"));
        // Focus on OK; Tab reaches the hidden button before "Title".
        QApplication::setActiveWindow(box);
        QVERIFY(QTest::qWaitForWindowActive(box));
        QCOMPARE(QApplication::focusWidget(), box->okButton());
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), box->hiddenButton());
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), box->titleButton());
        QTest::keyClick(box, Qt::Key_Escape);
    }
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(versionCaption(10, 0, 12), QStringLiteral("たるにべ    Ver 10.012"));
}

void TestAboutBox::wordHidesTheIconAndTheButtonPutsItBack()
{
    RecordingSound sound;
    AboutBox box(sound, ConnectWav);
    box.setAnimationSpeed(40);
    box.setDraw([] { return 17; });
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    // Typed without holding the button: nothing moves.
    QTest::mouseClick(box.icon(), Qt::LeftButton);
    QVERIFY(box.icon()->hasFocus());
    play(box, QStringLiteral("tarn"));
    QVERIFY(!box.animating());
    QCOMPARE(box.icon()->pos(), QPoint(16, 16));

    play(box, QStringLiteral("vtarn"));
    QVERIFY(!box.titleButton()->isVisible());
    QVERIFY(box.animating());
    play(box, QStringLiteral("^vtarn")); // ignored while the word is complete
    QTRY_VERIFY(!box.animating());
    QCOMPARE(box.icon()->pos(), QPoint(250, 88));
    QCOMPARE(box.hiddenButton()->pos(), QPoint(16, 88));

    QTest::mouseClick(box.hiddenButton(), Qt::LeftButton);
    QCOMPARE(box.titleLabel()->text(), QStringLiteral("たるにべ、それは伝説。"));
    QTRY_VERIFY(!box.animating());
    QCOMPARE(box.icon()->pos(), QPoint(16, 16));
    QCOMPARE(box.hiddenButton()->pos(), QPoint(16, 150));
    QVERIFY(box.titleButton()->isVisible());
    QCOMPARE(box.word().state(), 0);
    QVERIFY(sound.played.isEmpty());

    // And again.
    play(box, QStringLiteral("^vTARN"));
    QCOMPARE(box.word().state(), int(HiddenWord::Complete));
}

void TestAboutBox::messageForEachDraw_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("message");
    QTest::newRow("0") << 0 << "愛を語ろう、たるにべで。";
    QTest::newRow("16") << 16 << "愛を語ろう、たるにべで。";
    QTest::newRow("17") << 17 << "たるにべ、それは伝説。";
    QTest::newRow("101") << 101 << "毛やすみなさい。";
    QTest::newRow("102") << 102 << "風が、泣いている・・・";
    QTest::newRow("186") << 186 << "最近はと言えば、丸くなってきたよ。";
    QTest::newRow("187") << 187 << "たるにべ> ただ、愛を求めて。";
    QTest::newRow("198") << 198 << "たるにべ> ただ、愛を求めて。";
    QTest::newRow("199") << 199 << "これはレアメッセージだよ！\n1/200の確率。おめでとう！";
}

void TestAboutBox::messageForEachDraw()
{
    QFETCH(int, n);
    QFETCH(QString, message);
    RecordingSound sound;
    AboutBox box(sound, ConnectWav);
    box.setAnimationSpeed(1000);
    int draws = 0;
    box.setDraw([&] {
        ++draws;
        return n;
    });
    box.hiddenButton()->click();
    QCOMPARE(draws, 1);
    QCOMPARE(box.titleLabel()->text(), message);
    // Only the rare message comes with the connection sound.
    QCOMPARE(sound.played, n == RareMessageDraw ? QStringList{ConnectWav} : QStringList{});
}

// Every draw from 0 to 199 comes up, the rare one included, and nothing outside them: a
// fixed seed makes the run the same every time.
void TestAboutBox::drawsReachEveryMessage()
{
    QRandomGenerator random(2026);
    std::array<int, MessageDraws> seen{};
    for (int i = 0; i < 40 * MessageDraws; ++i) {
        const int n = drawMessageNumber(random);
        QVERIFY2(n >= 0 && n < MessageDraws, qPrintable(QString::number(n)));
        ++seen[size_t(n)];
    }
    for (int n = 0; n < MessageDraws; ++n)
        QVERIFY2(seen[size_t(n)] > 0, qPrintable(QStringLiteral("draw %1 never came").arg(n)));
}

void TestAboutBox::hiddenButtonFromTheKeyboard()
{
    // Without the word: the button jumps up and slides down, the icon jumps out and comes back.
    RecordingSound sound;
    AboutBox box(sound, ConnectWav);
    box.setAnimationSpeed(1);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.hiddenButton()->setFocus();
    QTest::keyClick(box.hiddenButton(), Qt::Key_Space);
    QVERIFY(box.animating());
    QCOMPARE(box.hiddenButton()->pos(), QPoint(16, 88));
    QCOMPARE(box.icon()->pos(), QPoint(16, 16));
    QTRY_VERIFY(box.hiddenButton()->y() > 88);
    QVERIFY(box.hiddenButton()->y() < 150);
    box.setAnimationSpeed(1000);
    QTRY_VERIFY(!box.animating());
    QCOMPARE(box.hiddenButton()->pos(), QPoint(16, 150));
    QCOMPARE(box.icon()->pos(), QPoint(16, 16));
}

void TestAboutBox::titleShowsTheStartPictureModally()
{
    RecordingSound sound;
    auto owned = std::make_unique<AboutBox>(sound, ConnectWav);
    AboutBox &box = *owned;
    box.show();
    QTest::mouseClick(box.titleButton(), Qt::LeftButton);
    // Shown over everything, and nothing waits for it: the click has returned.
    QPointer<SplashWindow> splash = qobject_cast<SplashWindow *>(QApplication::activeModalWidget());
    QVERIFY(splash);
    QVERIFY(splash->isVisible());
    QTest::mouseClick(splash->picture(), Qt::LeftButton);
    QTRY_VERIFY(!splash);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(box.isVisible());

    // Left open when the box goes, it goes with the box.
    QTest::mouseClick(box.titleButton(), Qt::LeftButton);
    splash = qobject_cast<SplashWindow *>(QApplication::activeModalWidget());
    QVERIFY(splash);
    owned.reset();
    QVERIFY(!splash);
}

void TestAboutBox::closingDuringTheAnimation()
{
    WindowCopy c(1, QStringLiteral("A"));
    for (const bool hiding : {true, false}) {
        findAction(c.window(), "mnVer")->trigger();
        auto *box = qobject_cast<AboutBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        if (hiding)
            play(*box, QStringLiteral("vtarn"));
        else
            box->hiddenButton()->click();
        QVERIFY(box->animating());
        box->okButton()->click();
        QTest::qWait(3 * 16);
    }
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
