// The help command: the old help file first, then the shipped one, and the line when neither opens.

#include "session/help.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QFile>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

class TestHelp : public QObject
{
    Q_OBJECT
private slots:
    void helpOpensTheOldOrTheShippedFile_data();
    void helpOpensTheOldOrTheShippedFile();
};

void TestHelp::helpOpensTheOldOrTheShippedFile_data()
{
    // Files as "program/<name>" (beside the settings) or "shipped/<name>".
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("desktopOpens");
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<bool>("logged");
    const QString chm = help::oldHelpFileName(), html = help::helpFileName();
    const QString programChm = "program/" + chm, shippedChm = "shipped/" + chm, shippedHtml = "shipped/" + html;
    QTest::newRow("old help first") << QStringList{shippedChm, shippedHtml} << true << QStringList{shippedChm} << false;
    QTest::newRow("old help in the program folder")
        << QStringList{programChm, shippedHtml} << true << QStringList{programChm} << false;
    QTest::newRow("program folder before the shipped one") << QStringList{programChm, shippedChm, shippedHtml} << false
                                                           << QStringList{programChm, shippedChm, shippedHtml} << true;
    QTest::newRow("shipped help") << QStringList{shippedHtml} << true << QStringList{shippedHtml} << false;
    // Only the old help is looked for beside the settings.
    QTest::newRow("new help beside the settings") << QStringList{"program/" + html} << true << QStringList{} << true;
    QTest::newRow("old help will not open")
        << QStringList{shippedChm, shippedHtml} << false << QStringList{shippedChm, shippedHtml} << true;
    QTest::newRow("no help at all") << QStringList{} << true << QStringList{} << true;
}

void TestHelp::helpOpensTheOldOrTheShippedFile()
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
    QTest::keyClick(control<QLineEdit>(c.window(), "txtInput"), Qt::Key_F1);
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

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
