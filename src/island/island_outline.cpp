#include "island/island_outline.h"

#include <algorithm>

namespace brimwick {
namespace {

// max(0, x), with NaN counting as 0.
double nonNegative(double x) {
    return x > 0 ? x : 0;
}

}  // namespace

IslandOutline IslandOutline::measure(const Rect& rect, const IslandShapeInputs& inputs) {
    IslandOutline outline;
    outline.left = rect.minX() + inputs.side - nonNegative(inputs.leftReach);
    outline.right =
        rect.minX() + inputs.side + nonNegative(inputs.middle) + nonNegative(inputs.rightReach);
    outline.top = rect.minY();
    outline.bottom = rect.maxY();
    const double width = outline.right - outline.left;
    if (!(width > 0.5)) return outline;
    outline.empty = false;
    outline.flare = std::min(0.25 * width, nonNegative(inputs.flare));
    outline.radius = nonNegative(
        std::min({(width - 2 * outline.flare) / 2, rect.height / 2, nonNegative(inputs.radius)}));
    return outline;
}

}  // namespace brimwick
