// The session without a window: the connect command's ask-or-abandon decision, and the
// settings saved at close.

#include "session/connectprompt.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

// Answers the connect dialog as a user would, and notes each time it was asked.
class ScriptedPrompt : public ConnectPrompt
{
public:
    std::optional<QString> askConnectAddress(const QString &lastAddress) override
    {
        asked << lastAddress;
        return answer;
    }
    std::optional<QString> answer;
    QStringList asked;
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
};

void TestSession::connectCommandAsksOrJoins_data()
{
    QTest::addColumn<QString>("chosen");   // chooseAddress before the command; empty: none
    QTest::addColumn<QString>("answer");   // the prompt's answer; null: cancelled
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("joined");   // empty: no join
    QTest::addColumn<QString>("stored");   // the connect address afterwards
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

QTEST_MAIN(TestSession)
#include "tst_session.moc"
