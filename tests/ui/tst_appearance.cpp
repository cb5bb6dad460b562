// The log font and the two colours: the font command with its rounding, the colour dialog
// and every surface the colours reach.

#include "model/colorvalue.h"
#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"
#include "ui/colourdialog.h"
#include "ui/fontcommand.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextFrame>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

const qint32 Red = 0x0000FF; // 0x00BBGGRR
const qint32 DarkBlue = 0x400000;

QColor colour(qint32 value)
{
    return resolveColorValue(value, QGuiApplication::palette());
}

// The character format of the last visible character of the log.
QTextCharFormat lastCharacterFormat(QTextDocument &document)
{
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    while (cursor.block().length() == 1 && cursor.movePosition(QTextCursor::PreviousBlock)) {
        cursor.movePosition(QTextCursor::EndOfBlock);
    }
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

// Runs `inside` on the modal dialog named `name`, which the command just opened.
void withOpenDialog(const QString &name, const std::function<void(QDialog &)> &inside)
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    QCOMPARE(dialog->objectName(), name);
    inside(*dialog);
}

void click(QDialog &dialog, const char *button)
{
    auto *b = dialog.findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY(b);
    b->click();
}

// What each surface shows, as colours.
struct Surfaces
{
    QColor logInsertion, logBackground, heldInsertion, heldBackground;
    QColor inputText, inputBackground, listText, listBackground, tickText, tickBackground;
    bool operator==(const Surfaces &) const = default;
};

Surfaces surfaces(MainWindow &w)
{
    QTextDocument &held = w.session().log().held();
    const QTextCharFormat heldFormat = control<LogAppearance>(w, "logAppearance")->heldInsertion().charFormat();
    Surfaces s;
    s.logInsertion =
        colour(colorValueOf(control<QTextEdit>(w, "txtWin")->textCursor().charFormat()).value_or(0x7F7F7F));
    s.logBackground = control<QTextEdit>(w, "txtWin")->palette().color(QPalette::Base);
    s.heldInsertion = colour(colorValueOf(heldFormat).value_or(0x7F7F7F));
    s.heldBackground = held.rootFrame()->frameFormat().background().color();
    s.inputText = control<QLineEdit>(w, "txtInput")->palette().color(QPalette::Text);
    s.inputBackground = control<QLineEdit>(w, "txtInput")->palette().color(QPalette::Base);
    s.listText = control<QListWidget>(w, "lbList")->palette().color(QPalette::Text);
    s.listBackground = control<QListWidget>(w, "lbList")->palette().color(QPalette::Base);
    s.tickText = control<QListWidget>(w, "lbListChk")->palette().color(QPalette::Text);
    s.tickBackground = control<QListWidget>(w, "lbListChk")->palette().color(QPalette::Base);
    return s;
}

Surfaces painted(qint32 text, qint32 background)
{
    return {colour(text),       colour(background), colour(text),       colour(background), colour(text),
            colour(background), colour(text),       colour(background), colour(text),       colour(background)};
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT
private slots:
    void wholeFontPoints_data();
    void wholeFontPoints();
    void fontCommand_data();
    void fontCommand();
    void colourDialogClosing_data();
    void colourDialogClosing();
    void lineArrivingWhileColourDialogIsOpen();
};

void TestAppearance::wholeFontPoints_data()
{
    QTest::addColumn<double>("chosen");
    QTest::addColumn<int>("stored");
    QTest::newRow("10.5 to the even 10") << 10.5 << 10;
    QTest::newRow("11.5 to the even 12") << 11.5 << 12;
    QTest::newRow("8.5") << 8.5 << 8;
    QTest::newRow("9.75") << 9.75 << 10;
    QTest::newRow("10.25") << 10.25 << 10;
    QTest::newRow("whole") << 12.0 << 12;
    QTest::newRow("0.5") << 0.5 << 0;
}

void TestAppearance::wholeFontPoints()
{
    QFETCH(double, chosen);
    QTEST(tarnivel::wholeFontPoints(chosen), "stored");
}

void TestAppearance::fontCommand_data()
{
    QTest::addColumn<QString>("chosenFamily");
    QTest::addColumn<double>("chosenSize");
    QTest::addColumn<QString>("storedFamily");
    QTest::addColumn<int>("storedSize");
    QTest::addColumn<double>("insertionSize");

    QTest::newRow("10.5") << "IPAGothic" << 10.5 << "IPAGothic" << 10 << 10.5;
    QTest::newRow("11.5") << "IPAPGothic" << 11.5 << "IPAPGothic" << 12 << 11.5;
    // The chooser gives back what it was given: the end of the log, i.e. the preferences.
    QTest::newRow("cancelled") << QString() << 0.0 << "ＭＳ Ｐゴシック" << 12 << 12.0;
}

void TestAppearance::fontCommand()
{
    QFETCH(QString, chosenFamily);
    QFETCH(double, chosenSize);
    QFETCH(QString, storedFamily);
    QFETCH(int, storedSize);
    QFETCH(double, insertionSize);

    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    c.session().log().addLog(QStringLiteral("first line\r\n"));
    control<QTextEdit>(w, "txtWin")->moveCursor(QTextCursor::Start); // the user clicked somewhere
    LogFontChoice given;
    w.setFontChooser([&](const LogFontChoice &initial, QWidget *, const FontChosen &chosen) {
        given = initial;
        chosen(chosenFamily.isEmpty() ? initial : LogFontChoice{chosenFamily, chosenSize});
    });
    findAction(w, "mnFont")->trigger();

    QCOMPARE(given.family, QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(given.pointSize, 12.0);
    QCOMPARE(c.session().preferences().logFontName, storedFamily);
    QCOMPARE(c.session().preferences().logFontSize, storedSize);
    // Both insertion points keep the size as chosen, until a line is appended.
    QVERIFY(control<QTextEdit>(w, "txtWin")->textCursor().atEnd());
    QCOMPARE(control<QTextEdit>(w, "txtWin")->textCursor().charFormat().fontPointSize(), insertionSize);
    QCOMPARE(control<LogAppearance>(w, "logAppearance")->heldInsertion().charFormat().fontPointSize(), insertionSize);
    QCOMPARE(
        control<LogAppearance>(w, "logAppearance")->heldInsertion().charFormat().fontFamilies().toStringList().value(0),
        storedFamily);

    c.session().log().addLog(QStringLiteral("second line\r\n"));
    const QTextCharFormat appended = lastCharacterFormat(c.session().logDocument());
    QCOMPARE(appended.fontPointSize(), double(storedSize));
    QCOMPARE(appended.fontFamilies().toStringList().value(0), storedFamily);
    QCOMPARE(control<QTextEdit>(w, "txtWin")->textCursor().charFormat().fontPointSize(), double(storedSize));
    // The line before keeps its font.
    QTextCursor first(c.session().logDocument().begin());
    first.movePosition(QTextCursor::Right);
    QCOMPARE(first.charFormat().fontPointSize(), 12.0);
}

void TestAppearance::colourDialogClosing_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("applied");
    QTest::newRow("OK") << "OK" << true;
    QTest::newRow("ｷｬﾝｾﾙ") << "cancel" << false;
    QTest::newRow("Esc") << "esc" << false;
    QTest::newRow("close box") << "close" << false;
}

void TestAppearance::colourDialogClosing()
{
    QFETCH(QString, way);
    QFETCH(bool, applied);

    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    c.session().log().addLog(QStringLiteral("before\r\n"));
    const Surfaces before = surfaces(w);
    QCOMPARE(c.session().preferences().textColor, SystemWindowTextColor);

    QList<qint32> given;
    QList<qint32> answers{Red, 0x00FF00, DarkBlue};
    w.setColourChooser([&](qint32 current, QWidget *, const ColourChosen &chosen) {
        given << current;
        chosen(answers.takeFirst());
    });
    findAction(w, "mnColor")->trigger();
    withOpenDialog(QStringLiteral("frmColor"), [&](QDialog &dialog) {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("色の設定"));
        auto *sample = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtSmp"));
        QVERIFY(sample);
        click(dialog, "cmnFont");
        click(dialog, "cmnFont"); // only the last choice counts
        click(dialog, "cmdBack");
        QCOMPARE(sample->palette().color(QPalette::Text), colour(0x00FF00));
        QCOMPARE(sample->palette().color(QPalette::Base), colour(DarkBlue));
        // Straight into the preferences; the window is repainted only once the dialog closes.
        QCOMPARE(c.session().preferences().textColor, 0x00FF00);
        QCOMPARE(surfaces(w), before);
        if (way == "OK")
            click(dialog, "OKButton");
        else if (way == "cancel")
            click(dialog, "CancelButton");
        else if (way == "esc")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
    });
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(given, (QList<qint32>{SystemWindowTextColor, Red, SystemWindowColor}));
    const Preferences &p = c.session().preferences();
    if (applied) {
        QCOMPARE(p.textColor, 0x00FF00);
        QCOMPARE(p.backgroundColor, DarkBlue);
        QCOMPARE(surfaces(w), painted(0x00FF00, DarkBlue));
        // Lines written before keep their colour; the next one takes the new one.
        QCOMPARE(lastCharacterFormat(c.session().logDocument()).foreground().style(), Qt::NoBrush);
        c.session().log().addLog(QStringLiteral("after\r\n"));
        QCOMPARE(lastCharacterFormat(c.session().logDocument()).foreground().color(), colour(0x00FF00));
    } else {
        QCOMPARE(p.textColor, SystemWindowTextColor);
        QCOMPARE(p.backgroundColor, SystemWindowColor);
        Surfaces expected = before;
        // The held box takes its colours with the first colour command, cancelled or not.
        expected.heldInsertion = colour(SystemWindowTextColor);
        expected.heldBackground = colour(SystemWindowColor);
        QCOMPARE(surfaces(w), expected);
    }
}

void TestAppearance::lineArrivingWhileColourDialogIsOpen()
{
    WindowCopy a(1, QStringLiteral("A"));
    WindowCopy b(2, QStringLiteral("B"));
    b.joinThrough(a.address());
    QTRY_COMPARE(a.namedMemberCount(), 1);
    QTRY_COMPARE(b.namedMemberCount(), 1);

    a.window().setColourChooser([](qint32, QWidget *, const ColourChosen &chosen) { chosen(Red); });
    findAction(a.window(), "mnColor")->trigger();
    withOpenDialog(QStringLiteral("frmColor"), [&](QDialog &dialog) {
        click(dialog, "cmnFont");
        b.say(QStringLiteral("while choosing"));
        QTRY_VERIFY(a.logText().contains(QStringLiteral("B> while choosing")));
        click(dialog, "CancelButton");
    });
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(a.session().preferences().textColor, SystemWindowTextColor);
    QCOMPARE(lastCharacterFormat(a.session().logDocument()).foreground().color(), colour(Red));
    a.session().log().addLog(QStringLiteral("later\r\n"));
    QCOMPARE(lastCharacterFormat(a.session().logDocument()).foreground().style(), Qt::NoBrush);
}

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
