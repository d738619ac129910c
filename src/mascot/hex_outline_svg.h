// The mascot's rounded pointy-top hexagon as SVG path data, for drawings made without Qt (the
// phone's browser page). The same points and curves as the Qt outline the app draws.
#pragma once

#include <string>

namespace brimwick {

// Centred on the origin, y downward: starts in the middle of the top-right edge and runs
// clockwise; each corner is rounded with a cubic that follows an arc of radius `corner`.
// Commands and numbers separated by single spaces ("M x y L x y C ... Z"), at most three
// decimals. Empty for a non-positive (or NaN) radius.
std::string hexOutlineSvgPath(double radius, double corner);

}  // namespace brimwick
