// The session without a window: the connect command's ask-or-abandon decision, answers that
// come late, and the settings saved at close.

#include "session/connectprompt.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

// Answers the connect dialog as a user would (at once, or later when told to), and notes each
// time it was asked.
class ScriptedPrompt : public ConnectPrompt
{
public:
    void askConnectAddress(const QString &lastAddress, Answered answered) override
    {
        asked << lastAddress;
        if (answersLater)
            pending = std::move(answered);
        else
            answered(answer);
    }
    void answerNow() { std::exchange(pending, {})(answer); }
    std::optional<QString> answer;
    QStringList asked;
    bool answersLater = false;
    Answered pending;
};

QString connectingLine(const QString &address)
{
    return QStringLiteral(" ●%1 に接続中...").arg(address);
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private slots:
    void connectCommandAsksOrJoins_data();
    void connectCommandAsksOrJoins();
    void connectCommandRefusedInAChat();
    void failedSaveAtExitIsReported();
    void lateAnswers_data();
    void lateAnswers();
};

void TestSession::connectCommandAsksOrJoins_data()
{
    QTest::addColumn<QString>("chosen"); // chooseAddress before the command; empty: none
    QTest::addColumn<QString>("answer"); // the prompt's answer; null: cancelled
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("joined"); // empty: no join
    QTest::addColumn<QString>("stored"); // the connect address afterwards
    const QString last = loopbackText(97);
    const QString typed = loopbackText(98);
    const QString chosen = loopbackText(99);
    QTest::newRow("asks with the last address, joins the answer") << QString() << typed << true << typed << typed;
    QTest::newRow("cancelled: gives up, keeps the last address") << QString() << QString() << true << QString() << last;
    QTest::newRow("chosen address: joined without asking") << chosen << typed << false << chosen << chosen;
}

void TestSession::connectCommandAsksOrJoins()
{
    QFETCH(QString, chosen);
    QFETCH(QString, answer);
    QFETCH(bool, asked);
    QFETCH(QString, joined);
    QFETCH(QString, stored);
    TestCopy c(1, QStringLiteral("A"));
    c.session().chooseAddress(loopbackText(97));
    ScriptedPrompt prompt;
    // The first command only takes the choice made above out of the way, asking nothing.
    c.session().connectCommand(prompt);
    c.session().disconnect();
    QVERIFY(prompt.asked.isEmpty());
    const QString logBefore = c.logText();

    if (!chosen.isEmpty())
        c.session().chooseAddress(chosen);
    if (!answer.isNull())
        prompt.answer = answer;
    c.session().connectCommand(prompt);

    QCOMPARE(prompt.asked, asked ? QStringList{loopbackText(97)} : QStringList{});
    const QString newLines = c.logText().mid(logBefore.size());
    QCOMPARE(newLines.contains(connectingLine(joined)), !joined.isEmpty());
    QCOMPARE(c.session().preferences().connectAddress, stored);
    if (joined.isEmpty())
        QCOMPARE(c.title(), QStringLiteral("たるにべ - 未接続"));
    else
        QCOMPARE(c.title(), QStringLiteral("たるにべ - 接続中"));

    // A chosen address is used once: the next command asks again.
    c.session().disconnect();
    prompt.asked.clear();
    prompt.answer.reset();
    c.session().connectCommand(prompt);
    QCOMPARE(prompt.asked.size(), 1);
}

void TestSession::connectCommandRefusedInAChat()
{
    TestCopy a(1, QStringLiteral("A"));
    TestCopy b(2, QStringLiteral("B"));
    b.joinThrough(a.address());
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), QStringLiteral("たるにべ - 1人接続済"), 10000);
    ScriptedPrompt prompt;
    prompt.answer = loopbackText(99);
    b.session().connectCommand(prompt);
    QVERIFY(prompt.asked.isEmpty());
    QCOMPARE(b.connectionCount(), 1);
    QVERIFY(!b.logText().contains(connectingLine(loopbackText(99))));
}

void TestSession::failedSaveAtExitIsReported()
{
    TestCopy copy(1, QStringLiteral("A"));
    // A folder where the file should be: the save cannot replace it.
    QVERIFY(QDir().mkpath(copy.session().settingsPath()));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("could not save the settings")));
    copy.close();
}

void TestSession::lateAnswers_data()
{
    QTest::addColumn<QString>("meanwhile"); // what happens while the dialog is open
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("joined"); // the typed address is joined
    QTest::addColumn<QString>("title");
    const QString connecting = QStringLiteral("たるにべ - 接続中");
    const QString unconnected = QStringLiteral("たるにべ - 未接続");
    QTest::newRow("answered: joins") << "" << false << true << connecting;
    QTest::newRow("cancelled: gives up") << "" << true << false << unconnected;
    QTest::newRow("disconnected meanwhile") << "disconnect" << false << false << unconnected;
    QTest::newRow("cancelled after a disconnect") << "disconnect" << true << false << unconnected;
    QTest::newRow("a room's partner joined meanwhile") << "partner" << false << false << connecting;
    QTest::newRow("cancelled while a partner is joined") << "partner" << true << false << connecting;
    QTest::newRow("unloaded meanwhile") << "unload" << false << false << unconnected;
}

void TestSession::lateAnswers()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, cancelled);
    QFETCH(bool, joined);
    QFETCH(QString, title);
    const QString typed = loopbackText(98);
    const QString partner = loopbackText(99);
    TestCopy c(1, QStringLiteral("A"));
    ScriptedPrompt prompt;
    prompt.answersLater = true;
    if (!cancelled)
        prompt.answer = typed;
    c.session().connectCommand(prompt);
    QCOMPARE(prompt.asked.size(), 1);
    QCOMPARE(c.title(), QStringLiteral("たるにべ - 接続中")); // asking: nothing joined yet
    QVERIFY(!c.logText().contains(connectingLine(typed)));

    if (meanwhile == u"disconnect")
        c.session().disconnect();
    else if (meanwhile == u"partner")
        c.session().joinAddress(partner);
    else if (meanwhile == u"unload")
        c.close();
    prompt.answerNow();

    QCOMPARE(c.logText().contains(connectingLine(typed)), joined);
    QCOMPARE(c.logText().contains(connectingLine(partner)), meanwhile == u"partner");
    QCOMPARE(c.title(), title);
    QCOMPARE(c.views().connectEnabled, !joined && meanwhile != u"partner");
    QCOMPARE(c.session().preferences().connectAddress, joined ? typed : meanwhile == u"partner" ? partner : QString());
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
