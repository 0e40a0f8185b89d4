#pragma once

#include <cmath>

// Window positions and sizes are reasoned about in twips (1440 per inch).
namespace Twips {

inline double fromPixels(int pixels, double dpi) {
    return pixels * 1440.0 / dpi;
}

// Round half to even, like every whole-number conversion in the layout.
inline double roundEven(double value) {
    return std::nearbyint(value);
}

inline double toPixels(double twips, double dpi) {
    return roundEven(twips * dpi / 1440.0);
}

} // namespace Twips
