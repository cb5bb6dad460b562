#pragma once
// The main window's place and size between the twips the settings file and the layout keep
// and the pixels of this screen. The outer size is the client area (the window below its
// menu bar) plus the frame of the desktop the layout was made for (DesignFrameTwips), so a
// stored size reads the same on every desktop. No widgets: the window passes in what it has.

#include "model/preferences.h"

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarnivel {

class WindowPlacement
{
public:
    // dpi: the screen's logical dots per inch; one that is not positive counts as 96.
    explicit WindowPlacement(double dpi);

    double twipsPerPixel() const { return 1440.0 / m_dpi; }

    // A position (or any length) one way and the other, rounded to the nearest whole unit.
    QPoint pixels(QPointF twips) const;
    QPoint twips(QPoint pixels) const;

    // The outer size, in twips, of a client area of `clientPixels`, and back.
    QSize outerTwips(QSize clientPixels) const;
    QSize clientPixels(QSize outerTwips) const;
    // The smallest client area whose outer size reaches the minimum (whole pixels, rounded up).
    QSize minimumClientPixels() const;
    // A rectangle in whole pixels whose edges are the rounded twips edges, so that gaps
    // between controls stay as even as the twips ones.
    QRect pixelRect(const QRect &twips) const;

    // What the settings keep for a window at `position` with `clientPixels`: its place and
    // outer size in twips.
    QRect stored(QPoint position, QSize clientPixels) const;
    // No settings file: where the window goes on `screen` (pixels), centred for its designed
    // size, and its outer size, half the screen wide and high.
    QPoint defaultPosition(const QRect &screen) const;
    QSize defaultOuterTwips(const QRect &screen) const;
    // The position to save: the live one while the window is normal, otherwise the last
    // normal one the preferences hold.
    QPointF savedPosition(WindowState state, QPoint position, const Preferences &prefs) const;

private:
    double m_dpi;
};

} // namespace tarnivel
