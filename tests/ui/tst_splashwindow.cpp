// The splash window: its picture, its place, and a click that closes it.

#include "ui/splashwindow.h"
#include "ui/windowstacking.h"

#include <QPointer>
#include <QScreen>
#include <QTest>

using namespace tarnivel;

class TestSplashWindow : public QObject
{
    Q_OBJECT
private slots:
    void splash();
};

void TestSplashWindow::splash()
{
    QPointer<SplashWindow> splash = new SplashWindow;
    auto *picture = splash->findChild<QWidget *>(QStringLiteral("PicStart"));
    QVERIFY(picture);
    QCOMPARE(picture->size(), QSize(200, 80));
    QCOMPARE(splash->size(), QSize(200, 80));
    QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    const QPoint offCentre = splash->geometry().center() - splash->screen()->availableGeometry().center();
    QVERIFY(offCentre.manhattanLength() <= 2);

    // Opaque to its edges, and the white title really drawn over the (nowhere white) gradient.
    QImage image(200, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    picture->render(&image, QPoint(), QRegion(), {}); // the picture alone, no background
    QCOMPARE(image.size(), QSize(200, 80));
    int titlePixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            QCOMPARE(qAlpha(p), 255);
            titlePixels += x < 140 && y > 10 && y < 46 && qMin(qMin(qRed(p), qGreen(p)), qBlue(p)) >= 245;
        }
    QVERIFY(titlePixels > 100);

    // Start-up order: show, keep on top, paint; then a click closes it at once.
    splash->show();
    tarnivel::setFormTop(splash, true);
    splash->paintNow();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    QTest::mouseClick(picture, Qt::RightButton, {}, QPoint(100, 40));
    QVERIFY(splash->isVisible());
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(100, 40));
    QVERIFY(!splash.isNull() && !splash->isVisible());
    splash->close(); // the owner closes it too, before it is deleted: nothing happens
    QVERIFY(!splash.isNull() && !splash->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(splash.isNull());
}

QTEST_MAIN(TestSplashWindow)
#include "tst_splashwindow.moc"
