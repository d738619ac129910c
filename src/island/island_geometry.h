// IslandGeometry: where the camera housing sits at the top of the screen (or where a zero-width
// one would sit on a screen without one) and how tall the island's unit is.
#pragma once

#include <optional>
#include <vector>

namespace brimwick {

// An axis-aligned rectangle. In desktop coordinates: origin at the top-left of the virtual
// desktop, y growing downwards, logical pixels (points).
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double midX() const { return x + width / 2; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midY() const { return y + height / 2; }
    bool contains(double px, double py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }

    bool operator==(const Rect&) const = default;
};

// What the platform reports about one screen. Screens with a camera housing report a top
// safe-area inset and usually the usable strips left and right of it, either in desktop
// coordinates or relative to the screen (platforms differ; both are accepted).
struct ScreenMeasurements {
    Rect frame;
    Rect visibleFrame;       // the frame without the desktop's panels
    double safeAreaTop = 0;  // > 0 only under a camera housing
    std::optional<Rect> auxiliaryTopLeft;
    std::optional<Rect> auxiliaryTopRight;
};

struct IslandGeometry {
    Rect screenFrame;          // the chosen screen
    double housingLeftX = 0;   // desktop x of the housing's left edge
    double housingRightX = 0;  // desktop x of its right edge
    double height = 32;        // the housing's height, or the top panel's; the island's unit
    bool hasHousing = false;

    double housingWidth() const { return housingRightX - housingLeftX; }
    double housingCenter() const { return (housingLeftX + housingRightX) / 2; }

    bool operator==(const IslandGeometry&) const = default;

    static constexpr double kMinimumBarHeight = 24;
    static constexpr double kMaximumBarHeight = 40;
    // Without a top panel there is no height to match; at 24 the mascot and the week's text
    // would be too small to read.
    static constexpr double kNoPanelHeight = 32;

    // The rules on plain measurements, screens in the platform's order: the first screen with a
    // camera housing wins; without one, a zero-width housing at the centre of the first screen
    // with the top panel's height clamped to 24 … 40, or 32 when it has no top panel; with no
    // screens at all, a 1440 × 900 screen at the origin and height 32. Never fails. Heights are
    // logical pixels, so they grow with the screen's device pixel ratio.
    static IslandGeometry measure(const std::vector<ScreenMeasurements>& screens);

    // measure() on the desktop's screens as the GUI toolkit reports them. Linux screens have no
    // camera housing, so this is always the case without one there. Defined by the desktop face
    // (island/qt); main thread with a running GUI application.
    static IslandGeometry current();
};

}  // namespace brimwick
