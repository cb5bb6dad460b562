#include "ui/mainlayout.h"

#include <algorithm>
#include <cmath>

namespace tarnivel {

namespace {
constexpr int ColumnWidth = 1675;
constexpr int ColumnFromRight = 1825; // the column's left edge, from the outer right edge
} // namespace

MainLayout computeMainLayout(QSize outer, bool showPeers, bool sendToAllSelected)
{
    const int w = outer.width();
    const int h = outer.height();
    MainLayout l;
    l.peerColumn = showPeers;
    l.log = QRect(120, 120, w - 350 - ColumnWidth * (showPeers ? 1 : 0), h - 1450);
    l.input = QRect(120, h - 1178, w - 1140, 330);
    l.send = QRect(w - 965, h - 1200, 735, 375);
    const int columnLeft = w - ColumnFromRight;
    l.sendToAll = QRect(columnLeft, 120, 1575, 255);
    l.sendToChosen = QRect(columnLeft, 360, 1575, 255);
    l.lists = QRect(columnLeft, 720, 1575, h - 2500);
    l.address = QRect(columnLeft, h - 1600, 1575, 270);
    l.plainListShown = showPeers && sendToAllSelected;
    l.tickListShown = showPeers && !sendToAllSelected;
    return l;
}

QSize outerTwipsForClient(QSize clientPixels, double twipsPerPixel)
{
    return QSize(int(std::lround(clientPixels.width() * twipsPerPixel)) + DesignFrameTwips.width(),
                 int(std::lround(clientPixels.height() * twipsPerPixel)) + DesignFrameTwips.height());
}

QSize clientPixelsForOuter(QSize outerTwips, double twipsPerPixel)
{
    return QSize(int(std::lround((outerTwips.width() - DesignFrameTwips.width()) / twipsPerPixel)),
                 int(std::lround((outerTwips.height() - DesignFrameTwips.height()) / twipsPerPixel)));
}

QSize minimumClientPixels(double twipsPerPixel)
{
    // A hair below a whole pixel still counts as that pixel (15 * 258.666... is 3880).
    auto pixels = [twipsPerPixel](int twips) { return int(std::ceil(twips / twipsPerPixel - 1e-9)); };
    return QSize(pixels(MinimumOuterTwips.width() - DesignFrameTwips.width()),
                 pixels(MinimumOuterTwips.height() - DesignFrameTwips.height()));
}

QRect pixelRect(const QRect &twips, double twipsPerPixel)
{
    auto px = [twipsPerPixel](double t) { return int(std::lround(t / twipsPerPixel)); };
    const int left = px(twips.x());
    const int top = px(twips.y());
    const int right = px(double(twips.x()) + twips.width());
    const int bottom = px(double(twips.y()) + twips.height());
    return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

} // namespace tarnivel
