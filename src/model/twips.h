#pragma once
// Window geometry is kept in twips (1/1440 inch); the screen works in pixels.
// At 96 dots per inch a pixel is 15 twips.

#include <QtGlobal>

namespace tarnivel {

inline constexpr double TwipsPerInch = 1440.0;

// A dpi that is not positive counts as 96. Results are rounded to the nearest whole
// unit and clamped to the integer range.
int pixelsFromTwips(double twips, double dpi);
qint32 twipsFromPixels(int pixels, double dpi);

} // namespace tarnivel
