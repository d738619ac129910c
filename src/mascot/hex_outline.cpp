#include "mascot/hex_outline.h"

#include <algorithm>
#include <cmath>

namespace brimwick {
namespace {

constexpr double kPi = 3.14159265358979323846;

HexPoint operator+(HexPoint a, HexPoint b) {
    return {a.x + b.x, a.y + b.y};
}
HexPoint operator-(HexPoint a, HexPoint b) {
    return {a.x - b.x, a.y - b.y};
}
HexPoint operator*(HexPoint p, double k) {
    return {p.x * k, p.y * k};
}

HexPoint unit(double degrees) {
    return {std::cos(degrees * kPi / 180), std::sin(degrees * kPi / 180)};
}

}  // namespace

std::optional<HexOutline> hexOutline(double radius, double corner) {
    if (!(radius > 0)) return std::nullopt;
    const double r = radius;
    // Tangent points sit corner / tan(60°) from each corner, never past half an edge.
    const double cut = std::clamp(corner / std::sqrt(3.0), 0.0, r / 2);
    const double c = cut * std::sqrt(3.0);
    // Control-point distance of a cubic that follows a 60° circular arc.
    const double handle = c * 4.0 / 3.0 * std::tan(kPi / 12);
    HexOutline outline;
    outline.start = (unit(-90) * r + unit(-30) * r) * 0.5;
    for (int k = 1; k <= 6; ++k) {
        const double angle = -90 + 60 * k;
        const HexPoint cornerPoint = unit(angle) * r;
        const HexPoint in = unit(angle + 60);  // direction of the arriving edge
        const HexPoint out = unit(angle + 120);
        HexCorner& each = outline.corners[static_cast<std::size_t>(k - 1)];
        each.lineTo = cornerPoint - in * cut;
        each.end = cornerPoint + out * cut;
        each.curved = cut > 0;
        each.control1 = each.lineTo + in * handle;
        each.control2 = each.end - out * handle;
    }
    return outline;
}

}  // namespace brimwick
