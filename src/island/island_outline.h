// IslandOutline: the measurements of the island's filled shape, a bar hanging from the top edge
// of the screen whose top corners flare out into the edge and whose bottom corners are rounded.
#pragma once

#include "island/island_geometry.h"

namespace brimwick {

// The shape's inputs. The three reaches are the ones that animate.
struct IslandShapeInputs {
    double leftReach = 0;   // how far it reaches left of the left column's inner edge
    double middle = 0;      // the bridge across the camera housing
    double rightReach = 0;  // how far it reaches right of the right column's inner edge
    double side = 240;      // x of the left column's inner edge from the shape's left edge
    double flare = 0;       // size of the concave fillets at the top
    double radius = 0;      // wanted radius of the two bottom corners

    bool operator==(const IslandShapeInputs&) const = default;
};

// Path: start at (left, top); quadratic curve to (left + flare, top + flare) with its control
// point at (left + flare, top); tangent arc of `radius` round the corner (left + flare, bottom)
// towards (right − flare, bottom); tangent arc round (right − flare, bottom) towards
// (right − flare, top); line to (right − flare, top + flare); quadratic curve to (right, top)
// with its control point at (right − flare, top); close.
struct IslandOutline {
    bool empty = true;
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
    double flare = 0;   // after shrinking to fit: at most a quarter of the width
    double radius = 0;  // after shrinking to fit: never negative

    // Negative and not-a-number reaches and middle count as 0; a shape 0.5 points wide or
    // narrower is empty.
    static IslandOutline measure(const Rect& rect, const IslandShapeInputs& inputs);
};

}  // namespace brimwick
