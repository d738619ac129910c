// HexOutline: the points and curves of the mascot's rounded pointy-top hexagon, computed once for
// both the Qt drawing and the SVG path of the phone's page.
#pragma once

#include <array>
#include <optional>

namespace brimwick {

struct HexPoint {
    double x = 0, y = 0;
};

// One corner as it is reached: a straight edge to `lineTo`, then (when `curved`) a cubic through
// the two controls to `end`, following an arc of the corner radius.
struct HexCorner {
    HexPoint lineTo;
    bool curved = false;
    HexPoint control1, control2, end;
};

// Centred on the origin, y downward: starts in the middle of the top-right edge and runs
// clockwise, upper-right corner first and the top corner last, then closes.
struct HexOutline {
    HexPoint start;
    std::array<HexCorner, 6> corners;
};

// Nothing for a non-positive (or NaN) radius. The corner radius is cut back so no rounding goes
// past half an edge.
std::optional<HexOutline> hexOutline(double radius, double corner);

}  // namespace brimwick
