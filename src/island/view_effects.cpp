#include "island/view_effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brimwick {
namespace {

double fraction(double count) {
    return std::isfinite(count) ? count - std::floor(count) : 0;
}

}  // namespace

Effect PoofModifier::effect() const {
    const double p = std::clamp(std::isnan(progress) ? 0.0 : progress, 0.0, 1.0);
    return {1 + 0.6 * p, 1 - p, 6 * p};
}

Effect Flash::effect() const {
    return {1, 0.9 * std::sin(std::numbers::pi * fraction(count)), 0};
}

Effect Ripple::effect() const {
    const double p = fraction(count);
    return {1 + 0.4 * p, p > 0 ? 0.8 * (1 - p) : 0, 0};
}

void PressableStyle::setPressed(bool pressed, Instant now) {
    pressed_.animate(pressed ? 1 : 0, now, kSpring);
}

Effect PressableStyle::effect(Instant now) const {
    // The spring overshoots a little either way; the look follows it, as a spring should.
    const double p = pressed_.value(now);
    if (reduceMotion_) return {1, std::clamp(1 - 0.3 * p, 0.0, 1.0), 0};
    return {1 - 0.1 * p, 1, 0};
}

}  // namespace brimwick
