#include "mascot/hex_outline_svg.h"

#include <cstdio>

#include "mascot/hex_outline.h"

namespace brimwick {
namespace {

// Three decimals without trailing zeros; "-0" is written as "0".
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

std::string point(HexPoint p) {
    return number(p.x) + " " + number(p.y);
}

}  // namespace

std::string hexOutlineSvgPath(double radius, double corner) {
    const auto outline = hexOutline(radius, corner);
    if (!outline) return {};
    std::string path = "M " + point(outline->start);
    for (const HexCorner& each : outline->corners) {
        path += " L " + point(each.lineTo);
        if (each.curved) {
            path +=
                " C " + point(each.control1) + " " + point(each.control2) + " " + point(each.end);
        }
    }
    return path + " Z";
}

}  // namespace brimwick
