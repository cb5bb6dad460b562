#pragma once
// Where the main window's controls go for a given client size. Offsets are the designed
// twips ones (15 twips per pixel at 96 dpi), taken from the client area's edges.

#include <QRect>
#include <QSize>

namespace tarnivel {

struct MainLayout
{
    QRect log;
    QRect input;
    QRect send;
    QRect sendToAll;  // the "send to everyone" option
    QRect sendToSome; // the "send to chosen members" option
    QRect lists;      // the member list and the tick list share it
    QRect address;    // the clicked member's address
    bool peerColumn = false;
};

// twipsPerPixel: 1440 / logical dpi.
MainLayout computeMainLayout(QSize client, bool showPeers, double twipsPerPixel);

// Smallest client area the layout keeps positive (outer 4000 x 2860 twips less the frame).
QSize minimumClientSize(double twipsPerPixel);

} // namespace tarnivel
