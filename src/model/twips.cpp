#include "model/twips.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarnivel {

namespace {

double usableDpi(double dpi)
{
    return dpi > 0 && std::isfinite(dpi) ? dpi : 96.0;
}

int roundedToInt(double v)
{
    if (std::isnan(v))
        return 0;
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    return int(std::round(std::clamp(v, lowest, highest)));
}

} // namespace

int pixelsFromTwips(double twips, double dpi)
{
    return roundedToInt(twips * usableDpi(dpi) / TwipsPerInch);
}

qint32 twipsFromPixels(int pixels, double dpi)
{
    return roundedToInt(pixels * TwipsPerInch / usableDpi(dpi));
}

} // namespace tarnivel
