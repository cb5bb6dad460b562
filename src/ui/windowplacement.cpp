#include "ui/windowplacement.h"

#include "model/twips.h"
#include "ui/mainlayout.h"

#include <cmath>

namespace tarnivel {

WindowPlacement::WindowPlacement(double dpi) : m_dpi(dpi > 0 && std::isfinite(dpi) ? dpi : 96.0) {}

QPoint WindowPlacement::pixels(QPointF twips) const
{
    return QPoint(pixelsFromTwips(twips.x(), m_dpi), pixelsFromTwips(twips.y(), m_dpi));
}

QPoint WindowPlacement::twips(QPoint pixels) const
{
    return QPoint(twipsFromPixels(pixels.x(), m_dpi), twipsFromPixels(pixels.y(), m_dpi));
}

QSize WindowPlacement::outerTwips(QSize clientPixels) const
{
    const QPoint client = twips(QPoint(clientPixels.width(), clientPixels.height()));
    return QSize(client.x(), client.y()) + DesignFrameTwips;
}

QSize WindowPlacement::clientPixels(QSize outerTwips) const
{
    const QSize client = outerTwips - DesignFrameTwips;
    const QPoint p = pixels(QPointF(client.width(), client.height()));
    return QSize(p.x(), p.y());
}

QSize WindowPlacement::minimumClientPixels() const
{
    // A hair below a whole pixel still counts as that pixel (15 * 258.666... is 3880).
    const double tpp = twipsPerPixel();
    auto whole = [tpp](int twips) {
        return int(std::ceil(twips / tpp - 1e-9));
    };
    const QSize client = MinimumOuterTwips - DesignFrameTwips;
    return QSize(whole(client.width()), whole(client.height()));
}

QRect WindowPlacement::pixelRect(const QRect &twips) const
{
    const QPoint topLeft = pixels(QPointF(twips.x(), twips.y()));
    const QPoint bottomRight = pixels(QPointF(double(twips.x()) + twips.width(), double(twips.y()) + twips.height()));
    return QRect(topLeft,
                 QSize(std::max(1, bottomRight.x() - topLeft.x()), std::max(1, bottomRight.y() - topLeft.y())));
}

QRect WindowPlacement::stored(QPoint position, QSize clientPixels) const
{
    return QRect(twips(position), outerTwips(clientPixels));
}

QPoint WindowPlacement::defaultPosition(const QRect &screen) const
{
    const QPoint screenTwips = twips(QPoint(screen.width(), screen.height()));
    const QSize design = DesignClientTwips + DesignFrameTwips;
    return screen.topLeft()
        + pixels(QPointF((screenTwips.x() - design.width()) / 2, (screenTwips.y() - design.height()) / 2));
}

QSize WindowPlacement::defaultOuterTwips(const QRect &screen) const
{
    const QPoint screenTwips = twips(QPoint(screen.width(), screen.height()));
    return QSize(screenTwips.x() / 2, screenTwips.y() / 2);
}

QPointF WindowPlacement::savedPosition(WindowState state, QPoint position, const Preferences &prefs) const
{
    if (state != WindowState::Normal)
        return QPointF(prefs.windowLeft, prefs.windowTop);
    return twips(position);
}

} // namespace tarnivel
