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

} // namespace tarnivel
