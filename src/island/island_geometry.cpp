#include "island/island_geometry.h"

#include <algorithm>
#include <cmath>

namespace brimwick {

IslandGeometry IslandGeometry::measure(const std::vector<ScreenMeasurements>& screens) {
    IslandGeometry geometry;
    const auto notched =
        std::find_if(screens.begin(), screens.end(),
                     [](const ScreenMeasurements& s) { return s.safeAreaTop > 0; });
    if (notched != screens.end()) {
        const Rect& frame = notched->frame;
        geometry.screenFrame = frame;
        geometry.housingLeftX = frame.midX() - 100;
        geometry.housingRightX = frame.midX() + 100;
        // Platforms report the strips beside the housing either in desktop coordinates or
        // relative to the screen; a strip that starts (or ends) at the screen's own edge is
        // taken to be in desktop coordinates already.
        if (const auto& left = notched->auxiliaryTopLeft; left && left->width > 0) {
            geometry.housingLeftX = std::abs(left->minX() - frame.minX()) < 1
                                        ? left->maxX()
                                        : frame.minX() + left->maxX();
        }
        if (const auto& right = notched->auxiliaryTopRight; right && right->width > 0) {
            geometry.housingRightX = std::abs(right->maxX() - frame.maxX()) < 1
                                         ? right->minX()
                                         : frame.minX() + right->minX();
        }
        geometry.height = notched->safeAreaTop;
        geometry.hasHousing = true;
        return geometry;
    }

    Rect frame{0, 0, 1440, 900};
    double barHeight = 0;
    if (!screens.empty()) {
        frame = screens.front().frame;
        // The strip the desktop's top panels take (y grows downwards here).
        barHeight = screens.front().visibleFrame.minY() - frame.minY();
    }
    geometry.screenFrame = frame;
    geometry.housingLeftX = geometry.housingRightX = frame.midX();
    // A NaN or negative height (nonsense measurements) counts as no panel.
    geometry.height = std::isnan(barHeight) || barHeight <= 0
                          ? kNoPanelHeight
                          : std::clamp(barHeight, kMinimumBarHeight, kMaximumBarHeight);
    geometry.hasHousing = false;
    return geometry;
}

}  // namespace brimwick
