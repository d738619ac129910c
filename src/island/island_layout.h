// IslandLayout: the small observable state shared by the island's panel and its views (geometry,
// hover flags, ear frames, tap callbacks), and the layout rules that turn the geometry and the
// shown ears into the panel's frame and the island's sizes.
#pragma once

#include <functional>
#include <optional>

#include "core/signal.h"
#include "island/island_geometry.h"
#include "sessions/agent_session.h"
#include "usage/usage_api.h"

namespace brimwick {

// Main thread only. The ear frames are in the island's own space: origin at the top-left of
// the panel's content, y downwards; a zero rectangle means the ear is not shown.
class IslandLayout {
  public:
    explicit IslandLayout(const IslandGeometry& geometry) : geometry_(geometry) {}
    IslandLayout(const IslandLayout&) = delete;
    IslandLayout& operator=(const IslandLayout&) = delete;

    const IslandGeometry& geometry() const { return geometry_; }
    bool hoveringSessions() const { return hoveringSessions_; }
    bool hoveringUsage() const { return hoveringUsage_; }

    // Each publishes `changed` only when something actually changed, so a pointer moving
    // within one ear costs no redraw.
    void setGeometry(const IslandGeometry& geometry);
    void setHovering(bool sessions, bool usage);

    Rect sessionsFrame;
    Rect usageFrame;

    // Called by the views after either frame changed.
    std::function<void()> onFramesChanged = [] {};
    std::function<void(const AgentSession&)> onTapSession = [](const AgentSession&) {};
    std::function<void()> onTapCount = [] {};
    std::function<void()> onTapUsage = [] {};

    // After a change of the geometry or a hover flag.
    Signal<> changed;

  private:
    IslandGeometry geometry_;
    bool hoveringSessions_ = false;
    bool hoveringUsage_ = false;
};

// Width of each ear column; the island's shape measures its reaches from their inner edges.
inline constexpr double kEarColumnWidth = 240;

// The panel in desktop coordinates: centred on the camera housing (the screen's centre without
// one), its top edge on the screen's top, housing width + h + 480 wide and h + 14 high.
Rect panelFrame(const IslandGeometry& geometry);

// Which ears are shown: the session ear while there is any session, the usage ear while usage
// is switched on and there are figures with at least one of the two windows.
struct IslandEars {
    bool session = false;
    bool usage = false;

    bool operator==(const IslandEars&) const = default;
};
IslandEars islandEars(bool hasSessions, bool usageEnabled, const std::optional<PlanUsage>& usage);

// The bridge across the camera housing: the housing's width, with any ear, on a screen that has
// one; 0.3·h joining two ears on a screen without one; otherwise nothing.
double islandMiddle(const IslandGeometry& geometry, IslandEars ears);

// The concave fillets joining the island to the screen edge: 0.28·h, only around a real camera
// housing.
double islandFlare(const IslandGeometry& geometry);

// Where the row of columns (left column, bridge, right column) starts inside the panel: the
// row is centred horizontally.
double islandRowX(double panelWidth, double middle);

// The session ear: padding 0.2·h + flare before and 0.14·h after, items 1.1 × 0.64·h wide with
// 0.16·h between them (the count hexagon when `withCount`, then `mascots` mascots).
double sessionEarWidth(double h, double flare, bool withCount, int mascots);

// The usage ear: padding 0.14·h before and 0.24·h + flare after, the ring 1.1 × 0.64·h wide,
// 0.18·h, then the text column of the given width.
double usageEarWidth(double h, double flare, double textWidth);

// Which ears the pointer (desktop coordinates) is over, given the panel's frame and the ear
// frames in the island space. A zero-width frame is never hit.
struct EarHits {
    bool session = false;
    bool usage = false;

    bool any() const { return session || usage; }
    bool operator==(const EarHits&) const = default;
};
EarHits hitEars(const Rect& panel, const Rect& sessionsFrame, const Rect& usageFrame,
                double pointerX, double pointerY);

}  // namespace brimwick
