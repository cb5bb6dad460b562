// The main window's layout: where every control goes for an outer size, the minimum the
// window snaps back to, and the placement kept for the settings file.

#include "testcopy.h"
#include "ui/mainwindow.h"
#include "testsupport.h"
#include "ui/mainlayout.h"
#include "ui/windowplacement.h"

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

int twips(int pixels)
{
    return int(pixels * Tpp);
}

QRect placement(const Preferences &p)
{
    return QRect(p.windowLeft, p.windowTop, p.windowWidth, p.windowHeight);
}

// The window's outer size as the layout reads it: its central area (below the menu bar) and
// the designed frame.
QSize outerTwips(MainWindow &w)
{
    return w.centralWidget()->size() * Tpp + DesignFrameTwips;
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
    void placementConversions_data();
    void placementConversions();
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
    QTest::newRow("large, column, ticked list")
        << QSize(15000, 10000) << true << false << QRect(120, 120, 12975, 8550) << QRect(120, 8822, 13860, 330)
        << QRect(14035, 8800, 735, 375) << QRect(13175, 720, 1575, 7500) << QRect(13175, 8400, 1575, 270) << 13175;
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
            auto right = [](const QRect &r) {
                return r.x() + r.width();
            };
            auto bottom = [](const QRect &r) {
                return r.y() + r.height();
            };
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

void TestLayout::placementConversions_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QSize>("client");         // pixels
    QTest::addColumn<QSize>("outer");          // twips
    QTest::addColumn<QSize>("minimum");        // client pixels
    QTest::addColumn<QPoint>("position");      // pixels
    QTest::addColumn<QPoint>("stored");        // twips
    QTest::addColumn<QRect>("logPixels");      // the log at the minimum, 120,120 1975 x 1410 twips
    QTest::addColumn<QRect>("screen");         // pixels
    QTest::addColumn<QPoint>("firstPosition"); // no settings file
    QTest::addColumn<QSize>("firstOuter");
    // The designed client area 7425 x 4335 has the outer size 7545 x 5025; 3880 x 2170 twips
    // of client reach the minimum, whole pixels rounding up.
    QTest::newRow("96 dpi") << 96.0 << QSize(495, 289) << QSize(7545, 5025) << QSize(259, 145) << QPoint(40, 30)
                            << QPoint(600, 450) << QRect(8, 8, 132, 94) << QRect(0, 0, 1920, 1080) << QPoint(708, 372)
                            << QSize(14400, 8100);
    QTest::newRow("no usable dpi counts as 96")
        << 0.0 << QSize(495, 289) << QSize(7545, 5025) << QSize(259, 145) << QPoint(40, 30) << QPoint(600, 450)
        << QRect(8, 8, 132, 94) << QRect(0, 0, 1920, 1080) << QPoint(708, 372) << QSize(14400, 8100);
    // Halves round away from zero; the first place is on the screen, wherever that lies.
    QTest::newRow("144 dpi, second screen")
        << 144.0 << QSize(495, 289) << QSize(5070, 3580) << QSize(388, 217) << QPoint(40, 30) << QPoint(400, 300)
        << QRect(12, 12, 198, 141) << QRect(1920, 0, 2560, 1440) << QPoint(2823, 469) << QSize(12800, 7200);
    QTest::newRow("120 dpi, left of the screen")
        << 120.0 << QSize(300, 200) << QSize(3720, 3090) << QSize(324, 181) << QPoint(-10, 5) << QPoint(-120, 60)
        << QRect(10, 10, 165, 118) << QRect(0, 0, 1024, 768) << QPoint(198, 175) << QSize(6144, 4608);
}

void TestLayout::placementConversions()
{
    QFETCH(double, dpi);
    QFETCH(QSize, client);
    QFETCH(QSize, outer);
    QFETCH(QSize, minimum);
    QFETCH(QPoint, position);
    QFETCH(QPoint, stored);
    QFETCH(QRect, logPixels);
    QFETCH(QRect, screen);
    QFETCH(QPoint, firstPosition);
    QFETCH(QSize, firstOuter);
    const WindowPlacement place(dpi);
    QCOMPARE(place.outerTwips(client), outer);
    QCOMPARE(place.clientPixels(outer), client);
    QCOMPARE(place.minimumClientPixels(), minimum);
    QCOMPARE(place.twips(position), stored);
    QCOMPARE(place.pixels(stored), position);
    QCOMPARE(place.pixelRect(QRect(120, 120, 1975, 1410)), logPixels);
    QCOMPARE(place.stored(position, client), QRect(stored, outer));
    QCOMPARE(place.defaultPosition(screen), firstPosition);
    QCOMPARE(place.defaultOuterTwips(screen), firstOuter);
    // Saved: the live position while normal, the last normal one otherwise.
    Preferences prefs;
    prefs.windowLeft = 1234;
    prefs.windowTop = -56;
    QCOMPARE(place.savedPosition(WindowState::Normal, position, prefs), QPointF(stored));
    QCOMPARE(place.savedPosition(WindowState::Maximized, position, prefs), QPointF(1234, -56));
    QCOMPARE(place.savedPosition(WindowState::Minimized, position, prefs), QPointF(1234, -56));
}

void TestLayout::windowAtItsMinimum()
{
    WindowCopy c(1, QStringLiteral("A"));
    MainWindow &w = c.window();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.togglePeerColumn();
    w.resize(10, 10); // held at the minimum the window manager is told
    QCOMPARE(outerTwips(w), QSize(4005, 2865));
    QCOMPARE(placement(c.session().preferences()).size(), QSize(4005, 2865));
    QVERIFY(w.windowHandle()->minimumSize().height() >= 145 + w.menuBar()->height());
    QVERIFY(w.windowHandle()->minimumSize().width() >= 259);

    // The log 1975 x 1410 and the lists 360 high, to within the rounding to whole pixels.
    QCOMPARE(control<QTextEdit>(w, "txtWin")->geometry(), QRect(8, 8, 132, 94));
    QCOMPARE(twips(control<QListWidget>(w, "lbList")->height()), 360);
    QVERIFY(control<QListWidget>(w, "lbList")->isVisibleTo(&w));
    QVERIFY(control<QRadioButton>(w, "opSendToAll")->isVisibleTo(&w)
            && control<QLineEdit>(w, "txtShowIP")->isVisibleTo(&w));
    QCOMPARE(control<QListWidget>(w, "lbList")->x(), 145); // 2175 twips
    QCOMPARE(control<QPushButton>(w, "cmdSend")->geometry(), QRect(203, 111, 49, 25));

    // Hidden, the log takes the column's place.
    w.togglePeerColumn();
    QCOMPARE(control<QTextEdit>(w, "txtWin")->width(), 132 + 112);
    QVERIFY(!control<QListWidget>(w, "lbList")->isVisibleTo(&w)
            && !control<QListWidget>(w, "lbListChk")->isVisibleTo(&w));
    QVERIFY(!control<QRadioButton>(w, "opSendToAll")->isVisibleTo(&w)
            && !control<QRadioButton>(w, "opSendToSelected")->isVisibleTo(&w));
    QVERIFY(!control<QLineEdit>(w, "txtShowIP")->isVisibleTo(&w));

    // Large: the button keeps 110 twips (7.3 pixels) to the client's right edge and 135 (9
    // pixels) to its bottom, the log 120 to its left edge and 110 to its right.
    w.resize(1000, 700);
    const int clientHeight = 700 - w.menuBar()->height();
    QCOMPARE(outerTwips(w), QSize(15120, twips(clientHeight) + 690));
    QCOMPARE(placement(c.session().preferences()).size(), outerTwips(w));
    QCOMPARE(control<QPushButton>(w, "cmdSend")->geometry().bottomRight(), QPoint(1000 - 7 - 1, clientHeight - 9 - 1));
    QCOMPARE(control<QTextEdit>(w, "txtWin")->geometry().left(), 8);
    QCOMPARE(control<QTextEdit>(w, "txtWin")->geometry().right(), 1000 - 7 - 1);
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
    QTRY_COMPARE(outerTwips(w), QSize(4005, 2865));
    QCOMPARE(control<QTextEdit>(w, "txtWin")->geometry(), QRect(8, 8, 132, 94));
    QCOMPARE(placement(c.session().preferences()).size(), QSize(4005, 2865));
    // Only the height too small: the width stays.
    w.windowHandle()->resize(600, 80);
    QTRY_COMPARE(outerTwips(w), QSize(9120, 2865));
    QCOMPARE(control<QTextEdit>(w, "txtWin")->geometry().right(), 481 - 1); // 7215 twips
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
    QCOMPARE(normal.size(), outerTwips(w));
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
