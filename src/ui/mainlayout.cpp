#include "ui/mainlayout.h"

#include <cmath>

namespace tarnivel {

namespace {
// The design frame around the client area: 60 twips of border at each side, and caption,
// menu bar and border (630 twips) above, 60 below; the offsets below are client-relative.
constexpr int MinOuterWidth = 4000;
constexpr int MinOuterHeight = 2860;
constexpr int FrameWidth = 120;
constexpr int FrameHeight = 690;
constexpr int ColumnWidth = 1675;
} // namespace

MainLayout computeMainLayout(QSize client, bool showPeers, double twipsPerPixel)
{
    const double w = client.width() * twipsPerPixel;  // client width in twips
    const double h = client.height() * twipsPerPixel; // client height in twips
    auto px = [twipsPerPixel](double twips) { return int(std::lround(twips / twipsPerPixel)); };
    auto rect = [&](double left, double top, double width, double height) {
        return QRect(px(left), px(top), std::max(1, px(width)), std::max(1, px(height)));
    };

    MainLayout l;
    l.peerColumn = showPeers;
    l.log = rect(120, 120, w - 230 - ColumnWidth * (showPeers ? 1 : 0), h - 760);
    l.input = rect(120, h - 488, w - 1020, 330);
    l.send = rect(w - 845, h - 510, 735, 375);
    const double columnLeft = w - 1705;
    l.sendToAll = rect(columnLeft, 120, 1575, 255);
    l.sendToSome = rect(columnLeft, 360, 1575, 255);
    l.lists = rect(columnLeft, 720, 1575, h - 1810);
    l.address = rect(columnLeft, h - 910, 1575, 270);
    return l;
}

QSize minimumClientSize(double twipsPerPixel)
{
    return QSize(int(std::ceil((MinOuterWidth - FrameWidth) / twipsPerPixel)),
                 int(std::ceil((MinOuterHeight - FrameHeight) / twipsPerPixel)));
}

} // namespace tarnivel
