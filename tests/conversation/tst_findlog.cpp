// Finding in the log: case and width do not matter, matches map back to the document,
// Enter and Shift+Enter wrap, Esc takes the highlights away.

#include "conversation/logrenderer.h"
#include "conversation/logsearch.h"
#include "ui/findbar.h"

#include <QLineEdit>
#include <QTextEdit>
#include <QtTest>

using namespace tarnivel;

namespace {

QStringList matchedTexts(const QTextDocument &document, const QList<LogMatch> &matches)
{
    QStringList texts;
    for (const LogMatch &m : matches) {
        QTextCursor c(const_cast<QTextDocument *>(&document));
        c.setPosition(m.start);
        c.setPosition(m.end, QTextCursor::KeepAnchor);
        texts << logText(c);
    }
    return texts;
}

void writeLog(QTextDocument &document, const QString &text)
{
    Preferences prefs;
    LogRenderer renderer(document, prefs);
    renderer.append(text, Emphasis::Off, Addresses::Underlined);
}

} // namespace

class TestFindLog : public QObject
{
    Q_OBJECT
private slots:
    void matchesIgnoreCaseAndWidth_data();
    void matchesIgnoreCaseAndWidth();
    void followsTheLogAsItChanges();
    void enterAndShiftEnterWrap();
};

void TestFindLog::matchesIgnoreCaseAndWidth_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("full-width letters and digits find half-width")
        << QStringLiteral("A> abc1 and ABC1\r\n") << QStringLiteral("ＡＢＣ１") << QStringList{"abc1", "ABC1"};
    QTest::newRow("half-width finds full-width")
        << QStringLiteral("A> ＡＢＣ１ です\r\n") << QStringLiteral("abc1") << QStringList{QStringLiteral("ＡＢＣ１")};
    QTest::newRow("half-width katakana with voiced mark finds full-width")
        << QStringLiteral("A> ガンダムとカ\r\n") << QStringLiteral("ｶﾞﾝﾀﾞﾑ") << QStringList{QStringLiteral("ガンダム")};
    QTest::newRow("full-width katakana finds half-width, mark and all")
        << QStringLiteral("A> ｶﾞﾝﾀﾞﾑ\r\n") << QStringLiteral("ダム") << QStringList{QStringLiteral("ﾀﾞﾑ")};
    QTest::newRow("a plain kana does not match its voiced form")
        << QStringLiteral("A> ガ\r\n") << QStringLiteral("ｶ") << QStringList{};
    QTest::newRow("every letter in either case")
        << QStringLiteral("A> abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n")
        << QStringLiteral("AbCdEfGhIjKlMnOpQrStUvWxYz")
        << QStringList{"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"};
    QTest::newRow("half-width semi-voiced mark")
        << QStringLiteral("A> ﾊﾟﾝ と ﾊﾝ\r\n") << QStringLiteral("パン") << QStringList{QStringLiteral("ﾊﾟﾝ")};
    QTest::newRow("repeats do not overlap")
        << QStringLiteral("A> aaaaa\r\n") << QStringLiteral("aa") << QStringList{"aa", "aa"};
    QTest::newRow("a ligature is one character of the log")
        << QStringLiteral("A> \uFB01le\r\n") << QStringLiteral("f") << QStringList{QStringLiteral("\uFB01")};
    QTest::newRow("no match across lines")
        << QStringLiteral("A> ab\r\nB> cd\r\n") << QStringLiteral("bB") << QStringList{};
    QTest::newRow("a match across a continued long line")
        << (QStringLiteral("A> ") + QString(LogRenderer::MaxParagraphCharacters - 4, u'x')
            + QStringLiteral("needle\r\n"))
        << QStringLiteral("NEEDLE") << QStringList{QStringLiteral("needle")};
    QTest::newRow("empty needle finds nothing") << QStringLiteral("A> x\r\n") << QString() << QStringList{};
    // A log of at most 10 blocks keeps the last 8 of these lines: what was found in the
    // lines that left is gone, and the rest maps to where its text is now.
    QString twelve;
    QStringList lastEight;
    for (int i = 1; i <= 12; ++i) {
        const QString word = i % 2 ? QStringLiteral("Needle") : QStringLiteral("ＮＥＥＤＬＥ");
        twelve += QStringLiteral("A> %1 %2\r\n").arg(word).arg(i);
        if (i > 4)
            lastEight << word;
    }
    QTest::newRow("after the oldest lines left") << twelve << QStringLiteral("needle") << lastEight;
}

void TestFindLog::matchesIgnoreCaseAndWidth()
{
    QFETCH(QString, log);
    QFETCH(QString, needle);
    QTextDocument document;
    Preferences prefs;
    LogRenderer renderer(document, prefs);
    renderer.setLimits(LogLimits{10, 1 << 30});
    LogSearch search(document);
    // Line by line, searched after each: the folded log follows every change.
    for (qsizetype at = 0; at < log.size();) {
        const qsizetype end = log.indexOf(QStringLiteral("\r\n"), at);
        const qsizetype next = end < 0 ? log.size() : end + 2;
        renderer.append(log.mid(at, next - at), Emphasis::Off, Addresses::Underlined);
        (void)search.findAll(needle);
        at = next;
    }
    QTEST(matchedTexts(document, search.findAll(needle)), "found");
}

// The folded log is extended, not rebuilt: new lines are found, cleared lines are not.
void TestFindLog::followsTheLogAsItChanges()
{
    QTextDocument document;
    Preferences prefs;
    LogRenderer renderer(document, prefs);
    LogSearch search(document);
    renderer.append(QStringLiteral("A> Tokyo\r\n"), Emphasis::Off, Addresses::Underlined);
    QCOMPARE(search.findAll(QStringLiteral("tokyo")).size(), 1);
    renderer.append(QStringLiteral("B> ＴＯＫＹＯ"), Emphasis::Off, Addresses::Underlined);
    renderer.append(QStringLiteral(" tokyo\r\n"), Emphasis::Off, Addresses::Underlined);
    QCOMPARE(matchedTexts(document, search.findAll(QStringLiteral("tokyo"))),
             (QStringList{"Tokyo", QStringLiteral("ＴＯＫＹＯ"), "tokyo"}));
    // A long line that grows in its continuation block is folded on as one line.
    renderer.append(QStringLiteral("C> ") + QString(LogRenderer::MaxParagraphCharacters - 3, u'x')
                        + QStringLiteral("ab"),
                    Emphasis::Off, Addresses::Underlined);
    QCOMPARE(search.findAll(QStringLiteral("xab")).size(), 1);
    renderer.append(QStringLiteral("cd\r\n"), Emphasis::Off, Addresses::Underlined);
    QCOMPARE(matchedTexts(document, search.findAll(QStringLiteral("xabcd"))), QStringList{"xabcd"});
    renderer.clear();
    QVERIFY(search.findAll(QStringLiteral("tokyo")).isEmpty());
    renderer.append(QStringLiteral("C> tokyo\r\n"), Emphasis::Off, Addresses::Underlined);
    QCOMPARE(matchedTexts(document, search.findAll(QStringLiteral("TOKYO"))), QStringList{"tokyo"});
}

void TestFindLog::enterAndShiftEnterWrap()
{
    QTextEdit log;
    writeLog(*log.document(), QStringLiteral("A> one\r\nB> ONE\r\nC> ｏｎｅ\r\n"));
    FindBar bar(log);
    bar.open();
    QVERIFY(!bar.isHidden());
    QTest::keyClicks(bar.findBox(), QStringLiteral("one"));
    QCOMPARE(bar.matches().size(), 3);
    QCOMPARE(bar.currentMatch(), 0);
    QCOMPARE(log.extraSelections().size(), 3);

    const QList<int> forward = {1, 2, 0};
    for (int expected : forward) {
        QTest::keyClick(bar.findBox(), Qt::Key_Return);
        QCOMPARE(bar.currentMatch(), expected);
    }
    const QList<int> backward = {2, 1, 0, 2};
    for (int expected : backward) {
        QTest::keyClick(bar.findBox(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(bar.currentMatch(), expected);
    }
    // The current match is where the log's cursor went; the highlights are no part of the text.
    QCOMPARE(log.textCursor().position(), bar.matches().at(2).start);
    QCOMPARE(logText(*log.document()), QStringLiteral("A> one\nB> ONE\nC> ｏｎｅ\n"));

    QTest::keyClick(bar.findBox(), Qt::Key_Escape);
    QVERIFY(bar.isHidden());
    QVERIFY(log.extraSelections().isEmpty());
    QCOMPARE(bar.currentMatch(), -1);
}

QTEST_MAIN(TestFindLog)
#include "tst_findlog.moc"
