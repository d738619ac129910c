// Percent left: how every display turns a used fraction into the whole percentage still left.
#pragma once

#include <cmath>

namespace brimwick {

// max(0, 1 − used) × 100 as a whole number, halves rounded away from zero (62.5 → 63).
// `used` is a fraction (0.0 … 1.0); values outside are clamped and NaN counts as nothing used.
inline int percentLeft(double used) {
    if (std::isnan(used) || used < 0.0) used = 0.0;
    if (used > 1.0) used = 1.0;
    double left = (1.0 - used) * 100.0;
    // Snap away binary noise first, so a fraction written as 0.005 lands on 99.5 and rounds up
    // instead of falling to 99.49999… and rounding down.
    left = std::round(left * 1e9) / 1e9;
    return static_cast<int>(std::lround(left));
}

}  // namespace brimwick
