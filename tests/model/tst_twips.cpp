// Twips and pixels, both ways.

#include "model/twips.h"

#include <QtTest>

#include <limits>

using namespace tarnivel;

class TestTwips : public QObject
{
    Q_OBJECT
private slots:
    void twipsAndPixels();
};

void TestTwips::twipsAndPixels()
{
    QCOMPARE(pixelsFromTwips(15, 96), 1);
    QCOMPARE(pixelsFromTwips(7425, 96), 495);
    QCOMPARE(pixelsFromTwips(1440, 144), 144);
    QCOMPARE(pixelsFromTwips(-4000, 96), -267);
    QCOMPARE(pixelsFromTwips(23, 96), 2);
    QCOMPARE(pixelsFromTwips(30, 0), 2); // no usable dpi: 96
    QCOMPARE(pixelsFromTwips(1e15, 96), std::numeric_limits<int>::max());
    QCOMPARE(twipsFromPixels(495, 96), 7425);
    QCOMPARE(twipsFromPixels(1, 120), 12);
    for (double dpi : {72.0, 96.0, 120.0, 144.0, 192.0})
        for (int px = -3000; px <= 3000; ++px)
            if (pixelsFromTwips(twipsFromPixels(px, dpi), dpi) != px)
                QFAIL(qPrintable(QString("%1 px at %2 dpi").arg(px).arg(dpi)));
}

QTEST_GUILESS_MAIN(TestTwips)
#include "tst_twips.moc"
