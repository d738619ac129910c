#include "mascot/hex_outline_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brimwick {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Point {
    double x, y;
    Point operator+(Point o) const { return {x + o.x, y + o.y}; }
    Point operator-(Point o) const { return {x - o.x, y - o.y}; }
    Point operator*(double k) const { return {x * k, y * k}; }
};

Point unit(double degrees) {
    return {std::cos(degrees * kPi / 180), std::sin(degrees * kPi / 180)};
}

// Three decimals without trailing zeros; "-0" is written as "0".
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

std::string point(Point p) {
    return number(p.x) + " " + number(p.y);
}

}  // namespace

std::string hexOutlineSvgPath(double radius, double corner) {
    if (!(radius > 0)) return {};
    const double r = radius;
    // Tangent points sit corner / tan(60°) from each corner, never past half an edge.
    const double cut = std::clamp(corner / std::sqrt(3.0), 0.0, r / 2);
    const double c = cut * std::sqrt(3.0);
    // Control-point distance of a cubic that follows a 60° circular arc.
    const double handle = c * 4.0 / 3.0 * std::tan(kPi / 12);
    std::string path = "M " + point((unit(-90) * r + unit(-30) * r) * 0.5);
    for (int k = 1; k <= 6; ++k) {
        const double angle = -90 + 60 * k;  // upper right first, the top corner last
        const Point cornerPoint = unit(angle) * r;
        const Point in = unit(angle + 60);  // direction of the arriving edge
        const Point out = unit(angle + 120);
        const Point arcStart = cornerPoint - in * cut;
        const Point arcEnd = cornerPoint + out * cut;
        path += " L " + point(arcStart);
        if (cut > 0) {
            path += " C " + point(arcStart + in * handle) + " " + point(arcEnd - out * handle) +
                    " " + point(arcEnd);
        }
    }
    return path + " Z";
}

}  // namespace brimwick
