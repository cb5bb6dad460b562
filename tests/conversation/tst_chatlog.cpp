// The conversation log: formatting of appended text, address marking, locking and sound.

#include "model/colorvalue.h"
#include "conversation/chatline.h"
#include "conversation/chatlog.h"
#include "conversation/logfile.h"
#include "text/codepage932.h"
#include "desktop/sound.h"
#include "fakes.h"
#include "testsupport.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace tarnivel;
using tarnivel::test::render;

namespace {

const QString soundPath = QStringLiteral("/program/message.wav");
const QChar mark(0x01);

// Formats of the visible characters, one entry per character.
QList<QTextCharFormat> characterFormats(const QTextDocument &document)
{
    QList<QTextCharFormat> formats;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            for (int i = 0; i < it.fragment().length(); ++i)
                formats.append(it.fragment().charFormat());
        }
    }
    return formats;
}

// Line breaks carry a format too; none of them may look like part of an address.
bool anyLineBreakUnderlined(const QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.charFormat().fontUnderline())
            return true;
    }
    return false;
}

bool isEmphasised(const QTextCharFormat &format)
{
    return format.fontWeight() == QFont::Bold && format.fontItalic();
}

bool isPlainWeight(const QTextCharFormat &format)
{
    return format.fontWeight() == QFont::Normal && !format.fontItalic();
}

// A complete log: window and held documents, preferences and a recording sound player.
struct Fixture
{
    QTextDocument window;
    QTextDocument held;
    Preferences prefs;
    test::RecordingSound sound;
    ChatLog log{window, held, prefs, sound, soundPath};
};

} // namespace

Q_DECLARE_METATYPE(tarnivel::LogLimits)

class TestChatLog : public QObject
{
    Q_OBJECT

private slots:
    void stripMark_data();
    void stripMark();
    void addLog_data();
    void addLog();
    void addLog_everyCharacterFormattedFromPreferences();
    void addLog_colourOfText_data();
    void addLog_colourOfText();
    void addLog_preferencesReadAtEachCall();
    void addLog_piecesOfOneLine_data();
    void addLog_piecesOfOneLine();
    void addLog_afterDocumentCleared();
    void addLog_endsWithPlainFormat();
    void addLog_messageSound();
    void addLog_emptyText();
    void addLog_whileLocked();
    void appendEmphasised();
    void plainTextReadsBackAsLines();
    void longLinesStayWhole_data();
    void longLinesStayWhole();
    void resolveColorValue_data();
    void resolveColorValue();
    void colorValueFromQColor();
    void systemSoundPlayer_silentWithoutDeviceOrFile();
};

void TestChatLog::stripMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stripped");
    QTest::addColumn<bool>("removed");

    QTest::newRow("empty") << QString() << QString() << false;
    QTest::newRow("no mark") << QStringLiteral("taro> hi\r\n") << QStringLiteral("taro> hi\r\n") << false;
    QTest::newRow("only a mark") << QString(mark) << QString() << true;
    QTest::newRow("at start") << mark + QStringLiteral("花子（秘）: やあ\r\n") << QStringLiteral("花子（秘）: やあ\r\n")
                              << true;
    QTest::newRow("everywhere") << mark + QStringLiteral("a") + mark + mark + QStringLiteral("b") + mark
                                << QStringLiteral("ab") << true;
    QTest::newRow("other markers stay") << QStringLiteral("\x02\x03\x04") << QStringLiteral("\x02\x03\x04") << false;
}

void TestChatLog::stripMark()
{
    QFETCH(QString, text);
    QFETCH(QString, stripped);
    QFETCH(bool, removed);

    QCOMPARE(chatline::stripPrivateMarks(text), removed);
    QCOMPARE(text, stripped);
}

void TestChatLog::addLog_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("emphasised");

    QTest::newRow("public line") << QStringLiteral("太郎> こんにちは\r\n") << QStringLiteral("太郎> こんにちは\n")
                                 << false;
    QTest::newRow("private line") << mark + QStringLiteral("花子（秘）: 内緒\r\n")
                                  << QStringLiteral("花子（秘）: 内緒\n") << true;
    QTest::newRow("mark in the middle") << QStringLiteral("花子（秘）") + mark + QStringLiteral(": 内緒\r\n")
                                        << QStringLiteral("花子（秘）: 内緒\n") << true;
    QTest::newRow("several marks") << mark + QStringLiteral("a") + mark + QStringLiteral("b\r\n") + mark
                                   << QStringLiteral("ab\n") << true;
    QTest::newRow("two lines, one private") << QStringLiteral("a> x\r\n") + mark + QStringLiteral("b（秘）: y\r\n")
                                            << QStringLiteral("a> x\nb（秘）: y\n") << true;
    QTest::newRow("status line") << QStringLiteral(" ●接続できません。\r\n") << QStringLiteral(" ●接続できません。\n")
                                 << false;
    QTest::newRow("status line with blank lines")
        << QStringLiteral("\r\n ●切断しました。\r\n\r\n") << QStringLiteral("\n ●切断しました。\n\n") << false;
    QTest::newRow("status line over two lines")
        << QStringLiteral(" ●サーバ:\r\nCGIエラーです\r\n") << QStringLiteral(" ●サーバ:\nCGIエラーです\n") << false;

    QTest::newRow("address in a line") << QStringLiteral("taro> http://www.example.com/a/b.html\r\n")
                                       << QStringLiteral("taro> ⟦http://www.example.com/a/b.html⟧\n") << false;
    QTest::newRow("address then Japanese")
        << QStringLiteral("http://a.jp/x見てね\r\n") << QStringLiteral("⟦http://a.jp/x⟧見てね\n") << false;
    QTest::newRow("address then blank") << QStringLiteral("http://a.jp/ です") << QStringLiteral("⟦http://a.jp/⟧ です")
                                        << false;
    QTest::newRow("address then full-width comma")
        << QStringLiteral("http://a.jp/、次") << QStringLiteral("⟦http://a.jp/⟧、次") << false;
    QTest::newRow("address then tab") << QStringLiteral("http://a.jp/\tx") << QStringLiteral("⟦http://a.jp/⟧\tx")
                                      << false;
    QTest::newRow("address at end of text")
        << QStringLiteral("see http://a.jp/index.html") << QStringLiteral("see ⟦http://a.jp/index.html⟧") << false;
    QTest::newRow("address then lone CR")
        << QStringLiteral("http://a.jp\rnext") << QStringLiteral("⟦http://a.jp⟧\nnext") << false;
    QTest::newRow("two addresses") << QStringLiteral("http://a.jp と http://b.jp/~x です\r\n")
                                   << QStringLiteral("⟦http://a.jp⟧ と ⟦http://b.jp/~x⟧ です\n") << false;
    QTest::newRow("addresses on two lines") << QStringLiteral("http://a.jp\r\nhttp://b.jp\r\n")
                                            << QStringLiteral("⟦http://a.jp⟧\n⟦http://b.jp⟧\n") << false;
    QTest::newRow("address glued to a word")
        << QStringLiteral("xhttp://a.jp") << QStringLiteral("x⟦http://a.jp⟧") << false;
    QTest::newRow("scheme alone") << QStringLiteral("http://") << QStringLiteral("⟦http://⟧") << false;
    QTest::newRow("address holding a second scheme") << QStringLiteral("http://a.jp/?u=http://b.jp 了")
                                                     << QStringLiteral("⟦http://a.jp/?u=http://b.jp⟧ 了") << false;
    QTest::newRow("half-width katakana inside")
        << QStringLiteral("http://a.jp/ｶﾞｲﾄﾞ.html あ") << QStringLiteral("⟦http://a.jp/ｶﾞｲﾄﾞ.html⟧ あ") << false;
    QTest::newRow("half-width range edges")
        << QStringLiteral("http://a/｡ﾟ\uFFA0z") << QStringLiteral("⟦http://a/｡ﾟ⟧\uFFA0z") << false;
    QTest::newRow("full-width just below half-width")
        << QStringLiteral("http://a/\uFF60z") << QStringLiteral("⟦http://a/⟧\uFF60z") << false;
    QTest::newRow("control character ends it") << QStringLiteral("http://a/~\x7F"
                                                                 "b")
                                               << QStringLiteral("⟦http://a/~⟧\x7F"
                                                                 "b")
                                               << false;
    QTest::newRow("https is not an address")
        << QStringLiteral("see https://a.jp/\r\n") << QStringLiteral("see https://a.jp/\n") << false;
    QTest::newRow("capitals are not an address")
        << QStringLiteral("HTTP://A.JP Http://a.jp\r\n") << QStringLiteral("HTTP://A.JP Http://a.jp\n") << false;
    QTest::newRow("incomplete scheme") << QStringLiteral("http:/a.jp http//b\r\n")
                                       << QStringLiteral("http:/a.jp http//b\n") << false;
    QTest::newRow("private line with address") << mark + QStringLiteral("花子（秘）: http://a.jp/ 見て\r\n")
                                               << QStringLiteral("花子（秘）: ⟦http://a.jp/⟧ 見て\n") << true;
    QTest::newRow("empty") << QString() << QString() << false;
}

void TestChatLog::addLog()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(bool, emphasised);

    Fixture f;
    f.log.addLog(text);

    QCOMPARE(render(f.window), shown);
    QVERIFY(!anyLineBreakUnderlined(f.window));
    const QList<QTextCharFormat> formats = characterFormats(f.window);
    for (qsizetype i = 0; i < formats.size(); ++i) {
        if (emphasised)
            QVERIFY2(isEmphasised(formats[i]), qPrintable(QString::number(i)));
        else
            QVERIFY2(isPlainWeight(formats[i]), qPrintable(QString::number(i)));
    }
    QCOMPARE(f.held.isEmpty(), true);
}

void TestChatLog::addLog_everyCharacterFormattedFromPreferences()
{
    Fixture f;
    f.prefs.textColor = 0x000000FF;
    f.prefs.logFontName = QStringLiteral("IPAPGothic");
    f.prefs.logFontSize = 15;
    const QString text = mark + QStringLiteral("花子（秘）: 見て http://a.jp/ｱ です\r\n");
    f.log.addLog(text);

    const QList<QTextCharFormat> formats = characterFormats(f.window);
    QCOMPARE(formats.size(), text.size() - 3); // no mark, CR LF is the block break
    for (const QTextCharFormat &format : formats) {
        QCOMPARE(format.foreground().color(), QColor(Qt::red));
        QCOMPARE(format.fontFamilies().toStringList(), QStringList{QStringLiteral("IPAPGothic")});
        QCOMPARE(format.fontPointSize(), 15.0);
        QVERIFY(isEmphasised(format));
    }
}

void TestChatLog::addLog_colourOfText_data()
{
    QTest::addColumn<qint32>("textColor");
    QTest::addColumn<bool>("hasForeground");
    QTest::addColumn<QColor>("color");

    QTest::newRow("explicit red") << qint32(0x000000FF) << true << QColor(255, 0, 0);
    QTest::newRow("explicit 0x00BBGGRR") << qint32(0x00336699) << true << QColor(0x99, 0x66, 0x33);
    QTest::newRow("black") << qint32(0) << true << QColor(0, 0, 0);
    // The desktop's text colour is left to the view, which paints it from its palette.
    QTest::newRow("window text") << SystemWindowTextColor << false << QColor();
    QTest::newRow("window background") << SystemWindowColor << true << QGuiApplication::palette().color(QPalette::Base);
    QTest::newRow("highlight") << qint32(0x8000000Du) << true << QGuiApplication::palette().color(QPalette::Highlight);
    QTest::newRow("unknown system colour") << qint32(0x8000007Fu) << false << QColor();
}

void TestChatLog::addLog_colourOfText()
{
    QFETCH(qint32, textColor);
    QFETCH(bool, hasForeground);
    QFETCH(QColor, color);

    Fixture f;
    f.prefs.textColor = textColor;
    f.log.addLog(QStringLiteral("taro> http://a.jp\r\n"));

    for (const QTextCharFormat &format : characterFormats(f.window)) {
        QCOMPARE(format.hasProperty(QTextFormat::ForegroundBrush), hasForeground);
        if (hasForeground)
            QCOMPARE(format.foreground().color(), color);
    }
}

void TestChatLog::addLog_preferencesReadAtEachCall()
{
    Fixture f;
    f.prefs.textColor = 0x000000FF;
    f.prefs.logFontName = QStringLiteral("First");
    f.prefs.logFontSize = 15;
    f.log.addLog(QStringLiteral("one\r\n"));
    f.prefs.textColor = 0x00FF0000;
    f.prefs.logFontName = QStringLiteral("Second");
    f.prefs.logFontSize = 9;
    f.log.addLog(QStringLiteral("two\r\n"));

    const QList<QTextCharFormat> formats = characterFormats(f.window);
    QCOMPARE(formats.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const bool first = i < 3;
        QCOMPARE(formats[i].foreground().color(), first ? QColor(Qt::red) : QColor(Qt::blue));
        QCOMPARE(formats[i].fontFamilies().toStringList().value(0), first ? "First" : "Second");
        QCOMPARE(formats[i].fontPointSize(), first ? 15.0 : 9.0);
    }
}

void TestChatLog::addLog_piecesOfOneLine_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("shown");

    // An address cut by the network is only an address as far as the first piece goes.
    QTest::newRow("address cut") << QStringList{"taro> see http://exa", "mple.com/\r\n"}
                                 << QStringLiteral("taro> see ⟦http://exa⟧mple.com/\n");
    QTest::newRow("scheme cut") << QStringList{"see htt", "p://a.jp\r\n"} << QStringLiteral("see http://a.jp\n");
    QTest::newRow("CR LF cut") << QStringList{"a> x\r", "\nb> y\r\n"} << QStringLiteral("a> x\nb> y\n");
    QTest::newRow("CR LF cut, lone LF") << QStringList{"a> x\r", "\n"} << QStringLiteral("a> x\n");
    QTest::newRow("CR LF cut, empty call between") << QStringList{"a\r", "", "\nb"} << QStringLiteral("a\nb");
    QTest::newRow("CR then CR LF") << QStringList{"a\r", "\r\nb"} << QStringLiteral("a\n\nb");
    QTest::newRow("LF then LF") << QStringList{"a\n", "\nb"} << QStringLiteral("a\n\nb");
    QTest::newRow("blank lines kept") << QStringList{"a\r\n", "\r\n", "b\r\n"} << QStringLiteral("a\n\nb\n");
    QTest::newRow("private piece then public")
        << QStringList{QString(mark) + "h（秘）: p\r\n", "t> q\r\n"} << QStringLiteral("h（秘）: p\nt> q\n");
}

void TestChatLog::addLog_piecesOfOneLine()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, shown);

    Fixture f;
    for (const QString &piece : pieces)
        f.log.addLog(piece);
    QCOMPARE(render(f.window), shown);
}

void TestChatLog::addLog_afterDocumentCleared()
{
    Fixture f;
    f.log.addLog(QStringLiteral("old line\r"));
    f.window.clear();
    f.log.addLog(QStringLiteral("\nnew http://a.jp\r\n"));
    // The LF no longer completes a CR: the document it belonged to is gone.
    QCOMPARE(render(f.window), QStringLiteral("\nnew ⟦http://a.jp⟧\n"));

    f.window.setPlainText(QStringLiteral("replaced"));
    f.log.addLog(QStringLiteral(" end"));
    QCOMPARE(f.window.toPlainText(), QStringLiteral("replaced end"));

    // Something else wrote at the end meanwhile: the next line still goes after it.
    QTextCursor other(&f.window);
    other.movePosition(QTextCursor::End);
    other.insertText(QStringLiteral("|"));
    f.log.addLog(QStringLiteral("!"));
    QCOMPARE(f.window.toPlainText(), QStringLiteral("replaced end|!"));
}

void TestChatLog::addLog_endsWithPlainFormat()
{
    Fixture f;
    f.log.addLog(mark + QStringLiteral("花子（秘）: http://a.jp\r\n"));
    QTextCursor end(&f.window);
    end.movePosition(QTextCursor::End);
    QVERIFY(isPlainWeight(end.charFormat()));
    QVERIFY(!end.charFormat().fontUnderline());

    // Text that follows a call ending inside an address is not part of it.
    f.log.addLog(QStringLiteral("http://b.jp"));
    f.log.addLog(QStringLiteral("x"));
    QCOMPARE(render(f.window), QStringLiteral("花子（秘）: ⟦http://a.jp⟧\n⟦http://b.jp⟧x"));
    QVERIFY(isPlainWeight(characterFormats(f.window).constLast()));
}

void TestChatLog::addLog_messageSound()
{
    Fixture f;
    f.log.addLog(QStringLiteral("quiet\r\n"));
    QVERIFY(f.sound.played.isEmpty());

    f.prefs.messageSound = true;
    f.log.addLog(QStringLiteral("a\r\n"));
    f.log.addLog(mark + QStringLiteral("b\r\n"));
    f.log.addLog(QStringLiteral(" ●エラー\r\n"));
    QCOMPARE(f.sound.played, QStringList(3, soundPath));
    // The connected line is written silently, and the switch stays on.
    f.log.addLog(QStringLiteral(" ●花子 と接続されました。\r\n"), Chime::Never);
    QCOMPARE(f.sound.played.size(), 3);
    QVERIFY(f.prefs.messageSound);
}

void TestChatLog::addLog_emptyText()
{
    Fixture f;
    f.prefs.messageSound = true;
    f.log.addLog(QStringLiteral("line\r\n"));
    f.sound.played.clear();
    QSignalSpy appended(&f.log, &ChatLog::appendedToWindow);

    f.log.addLog(QString());
    QCOMPARE(f.window.toPlainText(), QStringLiteral("line\n"));
    QCOMPARE(appended.count(), 1);
    QCOMPARE(appended.at(0).at(0).toInt(), 5); // where the next line begins
    QCOMPARE(f.sound.played, QStringList{soundPath});

    f.prefs.messageSound = false;
    f.log.addLog(QString());
    QCOMPARE(appended.count(), 2);
    QCOMPARE(f.sound.played.size(), 1);
}

void TestChatLog::addLog_whileLocked()
{
    Fixture f;
    f.prefs.messageSound = true;
    f.log.addLog(QStringLiteral("before\r\n"));
    f.sound.played.clear();
    QSignalSpy appended(&f.log, &ChatLog::appendedToWindow);

    f.log.lockScreen();
    f.log.addLog(QStringLiteral("a> http://a.jp/ 見て\r\n"));
    f.log.addLog(mark + QStringLiteral("b（秘）: y\r\n"));
    f.log.addLog(QString());

    QCOMPARE(render(f.window), QStringLiteral("before\n"));
    QCOMPARE(appended.count(), 0);
    QVERIFY(f.sound.played.isEmpty());
    QCOMPARE(render(f.held), QStringLiteral("a> ⟦http://a.jp/⟧ 見て\nb（秘）: y\n"));
    const QList<QTextCharFormat> formats = characterFormats(f.held);
    QVERIFY(isPlainWeight(formats.first()));
    QVERIFY(isEmphasised(formats.last()));

    // Unlocked, the held lines come after what was there, and the empty text that follows
    // them is the one append and the one sound.
    const QString held = render(f.held);
    f.log.unlockScreen();
    QCOMPARE(appended.count(), 1);
    QCOMPARE(f.sound.played, QStringList{soundPath});
    QCOMPARE(render(f.window), QStringLiteral("before\n") + held);
}

void TestChatLog::appendEmphasised()
{
    Fixture f;
    f.prefs.messageSound = true;
    f.prefs.textColor = 0x0000FF00;
    f.prefs.logFontName = QStringLiteral("Face");
    f.prefs.logFontSize = 11;
    QSignalSpy appended(&f.log, &ChatLog::appendedToWindow);

    f.log.addLog(QStringLiteral("ab\r\n"));
    appended.clear();
    f.log.appendEmphasised(QStringLiteral("To : 太郎 : http://a.jp\r\n"));
    QCOMPARE(appended.count(), 1);
    QCOMPARE(appended.at(0).at(0).toInt(), 3);
    f.log.clearWindow();
    appended.clear();
    f.sound.played.clear();
    f.log.appendEmphasised(QStringLiteral("To : 太郎 : http://a.jp\r\n"));
    QCOMPARE(render(f.window), QStringLiteral("To : 太郎 : http://a.jp\n"));
    for (const QTextCharFormat &format : characterFormats(f.window)) {
        QVERIFY(isEmphasised(format));
        QCOMPARE(format.foreground().color(), QColor(Qt::green));
        QCOMPARE(format.fontFamilies().toStringList().value(0), QStringLiteral("Face"));
        QCOMPARE(format.fontPointSize(), 11.0);
    }
    QCOMPARE(appended.count(), 1);
    QVERIFY(f.sound.played.isEmpty());

    f.log.addLog(QStringLiteral("me> x\r\n"));
    QVERIFY(isPlainWeight(characterFormats(f.window).constLast()));

    // Locked while a private line was going out: its "To" line is held with it.
    f.log.lockScreen();
    appended.clear();
    f.log.appendEmphasised(QStringLiteral("To : 花子\r\n"));
    f.log.addLog(QStringLiteral("me> y\r\n"));
    QCOMPARE(appended.count(), 0);
    QCOMPARE(render(f.held), QStringLiteral("To : 花子\nme> y\n"));
    QVERIFY(isEmphasised(characterFormats(f.held).constFirst()));
    f.log.unlockScreen();
    QVERIFY(render(f.window).endsWith(QStringLiteral("me> x\nTo : 花子\nme> y\n")));
}

void TestChatLog::plainTextReadsBackAsLines()
{
    Fixture f;
    const QString lines = QStringLiteral("\r\n ●太郎 と接続されました。\r\n太郎> http://a.jp/ ok\r\n\r\n");
    f.log.addLog(lines);
    QString saved = f.window.toPlainText();
    saved.replace(u'\n', QStringLiteral("\r\n"));
    QCOMPARE(saved, lines);
}

void TestChatLog::resolveColorValue_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QColor>("expected");

    // Every role of this palette has its own colour, so a wrong role shows.
    QTest::newRow("explicit red") << qint32(0x000000FF) << QColor(255, 0, 0);
    QTest::newRow("explicit green") << qint32(0x0000FF00) << QColor(0, 255, 0);
    QTest::newRow("explicit blue") << qint32(0x00FF0000) << QColor(0, 0, 255);
    QTest::newRow("explicit mixed") << qint32(0x00123456) << QColor(0x56, 0x34, 0x12);
    QTest::newRow("window text") << qint32(0x80000008u) << QColor(8, 0, 0);
    QTest::newRow("window") << qint32(0x80000005u) << QColor(5, 0, 0);
    QTest::newRow("highlight") << qint32(0x8000000Du) << QColor(13, 0, 0);
    QTest::newRow("highlight text") << qint32(0x8000000Eu) << QColor(14, 0, 0);
    QTest::newRow("button face") << qint32(0x8000000Fu) << QColor(15, 0, 0);
    QTest::newRow("button text") << qint32(0x80000012u) << QColor(18, 0, 0);
    QTest::newRow("menu text") << qint32(0x80000007u) << QColor(7, 0, 0);
    QTest::newRow("number with no colour") << qint32(0x80000019u) << QColor();
    QTest::newRow("number past the table") << qint32(0x800000FFu) << QColor();
    QTest::newRow("not a system number") << qint32(0x80000100u) << QColor();
    QTest::newRow("all bits") << qint32(-1) << QColor();
}

void TestChatLog::resolveColorValue()
{
    QFETCH(qint32, value);
    QFETCH(QColor, expected);

    const std::pair<QPalette::ColorRole, int> roles[] = {
        {QPalette::Text, 8},    {QPalette::Base, 5},        {QPalette::Highlight, 13}, {QPalette::HighlightedText, 14},
        {QPalette::Button, 15}, {QPalette::ButtonText, 18}, {QPalette::WindowText, 7},
    };
    QPalette palette;
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        palette.setColor(QPalette::ColorRole(role), QColor(200, 200, role));
    for (const auto &[role, number] : roles)
        palette.setColor(role, QColor(number, 0, 0));

    QCOMPARE(tarnivel::resolveColorValue(value, palette), expected);
    QCOMPARE(systemColorRole(value).has_value(), value < 0 && expected.isValid());
}

void TestChatLog::colorValueFromQColor()
{
    QCOMPARE(tarnivel::colorValueFromQColor(QColor(1, 2, 3)), qint32(0x00030201));
    QCOMPARE(tarnivel::colorValueFromQColor(QColor(255, 255, 255, 10)), qint32(0x00FFFFFF));
    QCOMPARE(tarnivel::colorValueFromQColor(QColor::fromHsv(0, 255, 255)), qint32(0x000000FF));
    for (const qint32 value : {0x00000000, 0x000000FF, 0x00804020, 0x00FFFFFF})
        QCOMPARE(tarnivel::colorValueFromQColor(tarnivel::resolveColorValue(value, QPalette())), value);
}

void TestChatLog::systemSoundPlayer_silentWithoutDeviceOrFile()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("message.wav"));
    {
        // 8 kHz mono 8-bit, a few samples of silence.
        QByteArray data("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data\x04\0\0\0"
                        "\x80\x80\x80\x80",
                        48);
        data[4] = char(data.size() - 8);
        QFile file(wav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    // Without an output device nothing is even loaded.
    {
        QObject owner;
        auto player = createSystemSoundPlayer(&owner, [] { return false; });
        player->play(wav);
        QVERIFY(owner.findChildren<QSoundEffect *>().isEmpty());
    }
    // With one (claimed, so this runs on any machine): a missing file stays silent and is
    // looked for again, an existing one is loaded once and reused.
    QObject owner;
    auto player = createSystemSoundPlayer(&owner, [] { return true; });
    const QString missing = dir.filePath(QStringLiteral("missing.wav"));
    player->play(missing);
    QVERIFY(owner.findChildren<QSoundEffect *>().isEmpty());
    player->play(wav);
    player->play(wav);
    QCOMPARE(owner.findChildren<QSoundEffect *>().size(), 1);
    QFile::copy(wav, missing);
    player->play(missing);
    QCOMPARE(owner.findChildren<QSoundEffect *>().size(), 2);
}

void TestChatLog::longLinesStayWhole_data()
{
    QTest::addColumn<QStringList>("pieces"); // as they arrive, one addLog each
    QTest::addColumn<LogLimits>("limits");
    QTest::addColumn<bool>("locked");  // while they arrive
    QTest::addColumn<QString>("kept"); // what the log holds; null: every piece
    const QString word(2500, u'N');
    const QString kana(1500, u'あ');
    const QString emoji = QString(600, u' ') + QStringLiteral("😀").repeated(400);
    const LogLimits unbounded{1 << 30, 1 << 30};
    QTest::newRow("one endless word") << QStringList{word + QStringLiteral("\r\n")} << unbounded << false << QString();
    QTest::newRow("cut by the network") << QStringList{word.left(700), word.mid(700, 1200),
                                                       word.mid(1900) + QStringLiteral("\r\nnext\r\n")}
                                        << unbounded << false << QString();
    QTest::newRow("an address across the bound") << QStringList{QString(1000, u'a') + QStringLiteral(" http://a.jp/")
                                                                + QString(100, u'b') + QStringLiteral("\r\n")}
                                                 << unbounded << false << QString();
    QTest::newRow("Japanese, private") << QStringList{mark + kana + QStringLiteral("\r\n\r\n") + kana} << unbounded
                                       << false << QString();
    QTest::newRow("surrogate pairs at the bound")
        << QStringList{emoji + QStringLiteral("\r\n")} << unbounded << false << QString();

    // Past 10 blocks the oldest lines go, a tenth of the limit at a time (down to 9 blocks:
    // 8 lines and the empty one after them).
    QStringList twelve;
    QString lastEight;
    for (int i = 1; i <= 12; ++i) {
        twelve << QStringLiteral("n> line %1\r\n").arg(i);
        if (i > 4)
            lastEight += QStringLiteral("n> line %1\n").arg(i);
    }
    QTest::newRow("the oldest lines leave") << twelve << LogLimits{10, 1 << 30} << false << lastEight;
    QTest::newRow("held lines are bounded too") << twelve << LogLimits{10, 1 << 30} << true << lastEight;
    // Past 3000 characters, down to 2700: a long line goes whole, never its first blocks alone.
    const QString next = QStringLiteral("b> ") + QString(600, u'y');
    QTest::newRow("a long line leaves whole")
        << QStringList{word + QStringLiteral("\r\n"), next + QStringLiteral("\r\n")} << LogLimits{1000, 3000} << false
        << next + u'\n';
    // Longer than the whole log: its newest blocks stay, as a line of their own.
    QTest::newRow("a line longer than the log keeps its end")
        << QStringList{QString(5000, u'x') + QStringLiteral("\r\n")} << LogLimits{1000, 3000} << false
        << QString(5000 - 3 * LogRenderer::MaxParagraphCharacters, u'x') + u'\n';
}

void TestChatLog::longLinesStayWhole()
{
    QFETCH(QStringList, pieces);
    QFETCH(LogLimits, limits);
    QFETCH(bool, locked);
    QFETCH(QString, kept);
    Fixture f;
    f.log.setLimits(limits);
    if (locked)
        f.log.lockScreen();
    QString expected;
    for (const QString &piece : pieces) {
        f.log.addLog(piece);
        expected += piece;
    }
    if (locked)
        f.log.unlockScreen();
    expected.remove(mark);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!kept.isNull())
        expected = kept;
    // What is left begins a line, and saving saves exactly that.
    QVERIFY(!continuesLine(f.window.begin()));
    QCOMPARE(logfile::bytesOf(f.window), cp932::encode(QString(expected).replace(u'\n', QStringLiteral("\r\n"))));
    // Saved and copied text holds each line as it arrived...
    QCOMPARE(logText(f.window), expected);
    QTextCursor all(&f.window);
    all.select(QTextCursor::Document);
    QCOMPARE(logText(all), expected);
    // ...while no block of the document grows past the bound, nor splits a character.
    for (QTextBlock b = f.window.begin(); b.isValid(); b = b.next()) {
        QVERIFY(b.length() - 1 <= LogRenderer::MaxParagraphCharacters);
        QVERIFY(!b.text().endsWith(QChar(0xD83D)));
    }
}

QTEST_MAIN(TestChatLog)
#include "tst_chatlog.moc"
