// The island's shapes as Qt paths: the island itself, the hexagons of the count and the usage
// ring, the arc that drains around the ring and the plus sign of a large count.
#pragma once

#include <QPainterPath>
#include <QRectF>

#include "island/island_outline.h"

namespace brimwick {

// The black island filling `rect` (see IslandOutline for the outline and its clamps). Empty
// when the island is 0.5 points wide or narrower.
struct IslandShape {
    IslandShapeInputs inputs;
    QPainterPath path(const QRectF& rect) const;
};

// The mascot's rounded hexagon, radius half the smaller side of `rect`, corners rounded by
// `corner` × radius, centred in `rect`.
struct HexShape {
    double corner = 0.24;
    QPainterPath path(const QRectF& rect) const;
};

// A plus sign: the vertical and the horizontal middle lines of `rect` (for stroking).
struct PlusShape {
    QPainterPath path(const QRectF& rect) const;
};

// The share `fraction` (0 … 1) of HexShape's outline, starting 11/12 of the way round it (the
// top of the upper-left edge) and running clockwise through the outline's own start. 1 or more
// is the whole hexagon, 0 or less nothing.
struct HexArc {
    double corner = 0.38;
    double fraction = 1;
    QPainterPath path(const QRectF& rect) const;
};

}  // namespace brimwick
