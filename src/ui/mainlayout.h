#pragma once
// Where the main window's controls go for a given outer window size, in twips (15 twips per
// pixel at 96 dpi).
//
// The offsets were made for a desktop whose frame around the client area is 120 twips wide
// (two 60-twip borders) and 690 twips high (border, caption and menu bar above, border
// below). Here the window manager draws the frame and the menu bar lies inside the window,
// so the window works with the outer size that desktop would have: the central area plus
// that frame. Every control then keeps its designed gap to the edges of the client area,
// whatever this desktop's own frame is, and sizes and minimum read the same as there.

#include <QRect>
#include <QSize>

namespace tarnivel {

inline constexpr QSize DesignFrameTwips{120, 690};
inline constexpr QSize MinimumOuterTwips{4000, 2860};
// The designed client area (no settings file): 7425 x 4335 twips.
inline constexpr QSize DesignClientTwips{7425, 4335};

// Control rectangles in twips, relative to the client area.
struct MainLayout
{
    QRect log;
    QRect input;
    QRect send;
    QRect sendToAll;    // the "send to everyone" option
    QRect sendToChosen; // the "send to chosen members" option
    QRect lists;        // the member list and the tick list share it
    QRect address;      // the clicked member's address
    bool peerColumn = false;
    bool plainListShown = false; // lbList: the column is shown and "全員へ送信" is selected
    bool tickListShown = false;  // lbListChk: the column is shown and "個人へ送信" is selected
};

// `outer` is the outer window size (W, H) in twips, at least the minimum. Pixels are
// WindowPlacement's business.
MainLayout computeMainLayout(QSize outer, bool showPeers, bool sendToAllSelected);

} // namespace tarnivel
