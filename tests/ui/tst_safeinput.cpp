// Input that arrives as typed: characters code page 932 cannot hold are found and underlined
// (input box and name dialog); a private send tints the input box and names its addressees.

#include "text/codepage932.h"
#include "text/cp932coverage.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/mainwindow.h"
#include "ui/namedialog.h"
#include "ui/privatesendhint.h"
#include "ui/unrepresentableunderline.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;
using Runs = QList<cp932::CharacterRun>;

namespace {
// Types text as a keyboard (or an input method) would, Japanese included.
void type(QWidget *box, const QString &text)
{
    QTest::sendKeyEvent(QTest::KeyAction::Click, box, Qt::Key_unknown, text, Qt::NoModifier);
}
} // namespace

class TestSafeInput : public QObject
{
    Q_OBJECT
private slots:
    void unrepresentableCharacters_data();
    void unrepresentableCharacters();
    void underlinedAsTyped();
    void privateTintFollowsOptionAndTicks();
};

void TestSafeInput::unrepresentableCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Runs>("outside");

    QTest::newRow("ASCII, kana, kanji") << QStringLiteral("abc? かなカナ漢字ｶﾅ") << Runs{};
    QTest::newRow("circled 1 (NEC row 13) is inside") << QStringLiteral("①") << Runs{};
    QTest::newRow("circled 20 is the last inside") << QStringLiteral("⑳") << Runs{};
    QTest::newRow("circled 21 is just outside") << QStringLiteral("⑳㉑") << Runs{{1, 1}};
    QTest::newRow("full-width tilde (0x8160) is inside") << QStringLiteral("～") << Runs{};
    QTest::newRow("IBM extension kanji is inside") << QStringLiteral("髙") << Runs{};
    QTest::newRow("emoji: one character of two units") << QStringLiteral("a😀b") << Runs{{1, 2}};
    QTest::newRow("kanji variant outside the BMP") << QStringLiteral("𠮷野家") << Runs{{0, 2}};
    QTest::newRow("accented Latin is outside") << QStringLiteral("café") << Runs{{3, 1}};
    QTest::newRow("several, in order") << QStringLiteral("😀x㉑") << Runs{{0, 2}, {3, 1}};
}

void TestSafeInput::unrepresentableCharacters()
{
    QFETCH(QString, text);
    QFETCH(Runs, outside);
    QCOMPARE(cp932::unrepresentable(text), outside);
    // What the check calls outside is exactly what the wire turns into '?'.
    const QByteArray wire = cp932::encode(text);
    QCOMPARE(wire.count('?') - text.count(u'?'), outside.size());
}

void TestSafeInput::underlinedAsTyped()
{
    WindowCopy a(1, QStringLiteral("A"));
    QLineEdit *input = control<QLineEdit>(a.window(), "txtInput");
    auto *underline = input->findChild<UnrepresentableUnderline *>();
    QVERIFY(underline);
    type(input, QStringLiteral("今日は"));
    QVERIFY(underline->marked().isEmpty());
    QVERIFY(input->toolTip().isEmpty());
    type(input, QStringLiteral("😀"));
    QCOMPARE(underline->marked(), (Runs{{3, 2}}));
    QVERIFY(input->toolTip().contains(QStringLiteral("「?」")));
    QVERIFY(input->toolTip().contains(QStringLiteral("😀")));
    input->backspace();
    QVERIFY(underline->marked().isEmpty());
    QVERIFY(input->toolTip().isEmpty());

    NameDialog dialog(QStringLiteral("Noname"));
    auto *nameBox = dialog.findChild<QLineEdit *>(QStringLiteral("txtMyName"));
    auto *nameUnderline = nameBox->findChild<UnrepresentableUnderline *>();
    QVERIFY(nameUnderline);
    type(nameBox, QStringLiteral("㉑"));
    QCOMPARE(dialog.name(), QStringLiteral("㉑"));
    QCOMPARE(nameUnderline->marked(), (Runs{{0, 1}}));
    QVERIFY(!nameBox->toolTip().isEmpty());
}

void TestSafeInput::privateTintFollowsOptionAndTicks()
{
    WindowCopy a(1, QStringLiteral("A"));
    MainWindow &w = a.window();
    PrivateSendHint *hint = control<PrivateSendHint>(w, "privateSendHint");
    QVERIFY(hint);
    w.setMemberRows({Member{{ConnectionSide::Accepted, 0}, QStringLiteral("Taro"), QStringLiteral("127.0.0.2")},
                     Member{{ConnectionSide::Dialled, 0}, QStringLiteral("Hanako"), QStringLiteral("127.0.0.3")}});
    QVERIFY(!hint->tinted());
    QVERIFY(control<QLineEdit>(w, "txtInput")->placeholderText().isEmpty());

    w.setSendToChosen(true);
    QVERIFY(hint->tinted());
    QCOMPARE(control<QLineEdit>(w, "txtInput")->placeholderText(), PrivateSendHint::NobodyTicked);

    struct Step
    {
        int row;
        Qt::CheckState state;
        QString placeholder;
    };
    const QList<Step> steps = {
        {1, Qt::Checked, QStringLiteral("Hanako に送信")},
        {0, Qt::Checked, QStringLiteral("Taro, Hanako に送信")},
        {1, Qt::Unchecked, QStringLiteral("Taro に送信")},
        {0, Qt::Unchecked, PrivateSendHint::NobodyTicked},
    };
    for (const Step &step : steps) {
        control<QListWidget>(w, "lbListChk")->item(step.row)->setCheckState(step.state);
        QCOMPARE(control<QLineEdit>(w, "txtInput")->placeholderText(), step.placeholder);
        QVERIFY(hint->tinted());
    }

    // New member rows clear the ticks and the option (the rows are rebuilt): the hint follows.
    control<QListWidget>(w, "lbListChk")->item(0)->setCheckState(Qt::Checked);
    w.selectSendToAll();
    QVERIFY(!hint->tinted());
    QVERIFY(control<QLineEdit>(w, "txtInput")->placeholderText().isEmpty());
    w.setSendToChosen(true);
    w.setMemberRows({Member{{ConnectionSide::Accepted, 1}, QStringLiteral("Jiro"), QStringLiteral("127.0.0.4")}});
    QCOMPARE(control<QLineEdit>(w, "txtInput")->placeholderText(), PrivateSendHint::NobodyTicked);
    w.setSendToChosen(false);
    QVERIFY(!hint->tinted());
    QVERIFY(control<QLineEdit>(w, "txtInput")->placeholderText().isEmpty());
}

QTEST_MAIN(TestSafeInput)
#include "tst_safeinput.moc"
