// The help command: the old help file first, then the shipped one, and the line when neither opens.

#include "session/help.h"
#include "testcopy.h"
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
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("desktopOpens");
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<bool>("logged");
    const QString chm = help::oldHelpFileName(), html = help::helpFileName();
    QTest::newRow("old help first") << QStringList{chm, html} << true << QStringList{chm} << false;
    QTest::newRow("shipped help") << QStringList{html} << true << QStringList{html} << false;
    QTest::newRow("old help will not open") << QStringList{chm, html} << false << QStringList{chm, html} << true;
    QTest::newRow("no help at all") << QStringList{} << true << QStringList{} << true;
}

void TestHelp::helpOpensTheOldOrTheShippedFile()
{
    QFETCH(QStringList, present);
    QFETCH(bool, desktopOpens);
    QFETCH(QStringList, tried);
    QFETCH(bool, logged);
    WindowCopy c(1, QStringLiteral("A"));
    for (const QString &name : present)
        QVERIFY(QFile(c.session().shippedFile(name)).open(QIODevice::WriteOnly));
    // Files beside the settings are never taken for shipped ones.
    for (const QString &name : {help::oldHelpFileName(), help::helpFileName()})
        QVERIFY(QFile(c.session().programFile(name)).open(QIODevice::WriteOnly));
    c.urlOpener.accepts = desktopOpens;
    c.window().show();
    QApplication::setActiveWindow(&c.window());
    QVERIFY(QTest::qWaitForWindowActive(&c.window()));
    QTest::keyClick(c.window().input(), Qt::Key_F1);
    QStringList opened;
    for (const QUrl &url : c.urlOpener.opened)
        opened << url.toLocalFile();
    QStringList expected;
    for (const QString &name : tried)
        expected << c.session().shippedFile(name);
    QCOMPARE(opened, expected);
    const QString line = help::cannotOpenLine(c.session().shippedFile(help::helpFileName()));
    QCOMPARE(c.logText().count(QString(line).remove(u'\r')), logged ? 1 : 0);
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
