// The main window's layout: where every control goes for an outer size, the minimum the
// window snaps back to, and the placement kept for the settings file.

#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"
#include "ui/mainlayout.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QWindow>
#include <QtTest>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

constexpr double Tpp = 15.0; // twips per pixel at 96 dpi

int twips(int pixels) { return int(pixels * Tpp); }

QRect placement(const Preferences &p)
{
    return QRect(p.windowLeft, p.windowTop, p.windowWidth, p.windowHeight);
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controlsForOuterSize_data();
    void controlsForOuterSize();
    void gapsToTheOuterEdges();
    void outerSizeAndClientArea();
    void windowAtItsMinimum();
    void snapsBackToTheMinimum();
    void placementKeptThroughMinimiseAndMaximise();
};

void TestLayout::initTestCase()
{
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
}

void TestLayout::controlsForOuterSize_data()
{
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<bool>("column");
    QTest::addColumn<bool>("sendToAll");
    QTest::addColumn<QRect>("log");
    QTest::addColumn<QRect>("input");
    QTest::addColumn<QRect>("send");
    QTest::addColumn<QRect>("lists");
    QTest::addColumn<QRect>("address");
    QTest::addColumn<int>("columnLeft");

    QTest::newRow("minimum, column") << QSize(4000, 2860) << true << true << QRect(120, 120, 1975, 1410)
                                     << QRect(120, 1682, 2860, 330) << QRect(3035, 1660, 735, 375)
                                     << QRect(2175, 720, 1575, 360) << QRect(2175, 1260, 1575, 270) << 2175;
    QTest::newRow("minimum, no column") << QSize(4000, 2860) << false << true << QRect(120, 120, 3650, 1410)
                                        << QRect(120, 1682, 2860, 330) << QRect(3035, 1660, 735, 375)
                                        << QRect(2175, 720, 1575, 360) << QRect(2175, 1260, 1575, 270) << 2175;
    QTest::newRow("large, column, ticked list") << QSize(15000, 10000) << true << false << QRect(120, 120, 12975, 8550)
                                                << QRect(120, 8822, 13860, 330) << QRect(14035, 8800, 735, 375)
                                                << QRect(13175, 720, 1575, 7500) << QRect(13175, 8400, 1575, 270) << 13175;
    QTest::newRow("large, no column") << QSize(15000, 10000) << false << false << QRect(120, 120, 14650, 8550)
                                      << QRect(120, 8822, 13860, 330) << QRect(14035, 8800, 735, 375)
                                      << QRect(13175, 720, 1575, 7500) << QRect(13175, 8400, 1575, 270) << 13175;
}

void TestLayout::controlsForOuterSize()
{
    QFETCH(QSize, outer);
    QFETCH(bool, column);
    QFETCH(bool, sendToAll);
    const MainLayout l = computeMainLayout(outer, column, sendToAll);
    QTEST(l.log, "log");
    QTEST(l.input, "input");
    QTEST(l.send, "send");
    QTEST(l.lists, "lists");
    QTEST(l.address, "address");
    QTEST(l.sendToAll.left(), "columnLeft");
    QCOMPARE(l.sendToAll, QRect(l.sendToAll.left(), 120, 1575, 255));
    QCOMPARE(l.sendToChosen, QRect(l.sendToAll.left(), 360, 1575, 255));
    QCOMPARE(l.peerColumn, column);
    QCOMPARE(l.plainListShown, column && sendToAll);
    QCOMPARE(l.tickListShown, column && !sendToAll);
}

// The gaps the design keeps at every size: measured from the outer right and bottom edges.
void TestLayout::gapsToTheOuterEdges()
{
    for (int w = 4000; w <= 20000; w += 1370) {
        for (int h = 2860; h <= 15000; h += 1130) {
            const QString at = QStringLiteral("%1 x %2").arg(w).arg(h);
            const MainLayout shown = computeMainLayout(QSize(w, h), true, true);
            const MainLayout hidden = computeMainLayout(QSize(w, h), false, true);
            auto right = [](const QRect &r) { return r.x() + r.width(); };
            auto bottom = [](const QRect &r) { return r.y() + r.height(); };
            QVERIFY2(right(shown.send) == w - 230 && right(hidden.log) == w - 230, qPrintable(at));
            QVERIFY2(shown.send.x() - right(shown.input) == 55, qPrintable(at));
            QVERIFY2(shown.input.y() - shown.send.y() == 22, qPrintable(at));
            QVERIFY2(shown.lists.x() - right(shown.log) == 80 && right(shown.lists) == w - 250, qPrintable(at));
            QVERIFY2(bottom(shown.log) == h - 1330 && bottom(shown.address) == h - 1330, qPrintable(at));
            QVERIFY2(shown.address.y() - bottom(shown.lists) == 180, qPrintable(at));
            QVERIFY2(hidden.log.width() - shown.log.width() == 1675, qPrintable(at));
        }
    }
}

void TestLayout::outerSizeAndClientArea()
{
    // The designed client area 7425 x 4335 has the outer size 7545 x 5025.
    QCOMPARE(outerTwipsForClient(QSize(495, 289), Tpp), QSize(7545, 5025));
    QCOMPARE(clientPixelsForOuter(QSize(7545, 5025), Tpp), QSize(495, 289));
    // 3880 x 2170 twips of client reach the minimum; whole pixels round up.
    QCOMPARE(minimumClientPixels(Tpp), QSize(259, 145));
    QCOMPARE(minimumClientPixels(10.0), QSize(388, 217)); // 144 dpi
    QCOMPARE(pixelRect(QRect(120, 120, 1975, 1410), Tpp), QRect(8, 8, 132, 94));
}

void TestLayout::windowAtItsMinimum()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.togglePeerColumn();
    w.resize(10, 10); // held at the minimum the window manager is told
    QCOMPARE(w.outerTwips(), QSize(4005, 2865));
    QVERIFY(w.windowHandle()->minimumSize().height() >= 145 + w.menuBar()->height());
    QVERIFY(w.windowHandle()->minimumSize().width() >= 259);

    // The log 1975 x 1410 and the lists 360 high, to within the rounding to whole pixels.
    QCOMPARE(w.logView()->geometry(), QRect(8, 8, 132, 94));
    QCOMPARE(twips(w.memberList()->height()), 360);
    QVERIFY(w.memberList()->isVisibleTo(&w));
    QVERIFY(w.sendToAllOption()->isVisibleTo(&w) && w.shownAddress()->isVisibleTo(&w));
    QCOMPARE(w.memberList()->x(), 145); // 2175 twips
    QCOMPARE(w.sendButton()->geometry(), QRect(203, 111, 49, 25));

    // Hidden, the log takes the column's place.
    w.togglePeerColumn();
    QCOMPARE(w.logView()->width(), 132 + 112);
    QVERIFY(!w.memberList()->isVisibleTo(&w) && !w.memberTickList()->isVisibleTo(&w));
    QVERIFY(!w.sendToAllOption()->isVisibleTo(&w) && !w.sendToChosenOption()->isVisibleTo(&w));
    QVERIFY(!w.shownAddress()->isVisibleTo(&w));

    // Large: the button keeps 110 twips (7.3 pixels) to the client's right edge and 135 (9
    // pixels) to its bottom, the log 120 to its left edge and 110 to its right.
    w.resize(1000, 700);
    const int clientHeight = 700 - w.menuBar()->height();
    QCOMPARE(w.outerTwips(), QSize(15120, twips(clientHeight) + 690));
    QCOMPARE(w.sendButton()->geometry().bottomRight(), QPoint(1000 - 7 - 1, clientHeight - 9 - 1));
    QCOMPARE(w.logView()->geometry().left(), 8);
    QCOMPARE(w.logView()->geometry().right(), 1000 - 7 - 1);
}

void TestLayout::snapsBackToTheMinimum()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    w.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.togglePeerColumn();
    // A window manager that ignores the size hints makes the window 100 x 80.
    w.windowHandle()->resize(100, 80);
    QTRY_COMPARE(w.outerTwips(), QSize(4005, 2865));
    QCOMPARE(w.logView()->geometry(), QRect(8, 8, 132, 94));
    QCOMPARE(placement(c.session().preferences()).size(), QSize(4005, 2865));
    // Only the height too small: the width stays.
    w.windowHandle()->resize(600, 80);
    QTRY_COMPARE(w.outerTwips(), QSize(9120, 2865));
    QCOMPARE(w.logView()->geometry().right(), 481 - 1); // 7215 twips
}

void TestLayout::placementKeptThroughMinimiseAndMaximise()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    w.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.move(40, 30);
    w.resize(500, 350);
    const QRect normal = placement(c.session().preferences());
    QCOMPARE(normal.size(), w.outerTwips());
    QCOMPARE(normal.size().width(), 7620);

    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    w.resize(640, 480); // a size change while minimised is not the normal placement
    QCOMPARE(placement(c.session().preferences()), normal);

    w.showMaximized();
    QTRY_VERIFY(w.isMaximized());
    QTRY_VERIFY(w.width() > 640);
    QCOMPARE(placement(c.session().preferences()), normal);

    w.showNormal();
    QTRY_VERIFY(!w.isMaximized());
    QTRY_COMPARE(placement(c.session().preferences()).size(), normal.size());
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
