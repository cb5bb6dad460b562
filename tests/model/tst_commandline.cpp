// The start-up command line: what it asks for, and what is answered on the terminal.

#include "model/commandline.h"

#include <QtTest>

using namespace tarnivel;

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void commandLine();
};

void TestCommandLine::commandLine()
{
    QCOMPARE(classifyCommandLine(""), StartAction::None);
    for (const char *text : {"/l", "/L", "-l", "-L"})
        QVERIFY2(classifyCommandLine(text) == StartAction::OpenDirectory, text);
    for (const char *text : {" /L", "/L ", "/L x", "/LL", "l", "--l", "192.168.0.5", " "})
        QVERIFY2(classifyCommandLine(text) == StartAction::JoinAddress, text);
    QCOMPARE(commandLineText({}), QString());
    QCOMPARE(commandLineText({"tarnivel"}), QString());
    QCOMPARE(commandLineText({"tarnivel", "/L", "x"}), QString("/L x"));
    QCOMPARE(commandLineText({"/opt/たるにべ", "ホスト"}), QString("ホスト"));

    // Only the whole text "--version" or "--help" is answered on the terminal; anything
    // else keeps its usual meaning.
    QCOMPARE(terminalAnswer("--version", "9.8.7"), std::optional<QString>("tarnivel 9.8.7\n"));
    const auto help = terminalAnswer("--help", "9.8.7");
    QVERIFY(help && help->startsWith("Usage: tarnivel [ADDRESS | /L]\n") && help->endsWith("man tarnivel\n"));
    for (const char *text :
         {"", "/L", "--version ", " --help", "--help x", "--version --help", "--Version", "-v", "-h", "-V"})
        QVERIFY2(!terminalAnswer(text, "9.8.7"), text);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
