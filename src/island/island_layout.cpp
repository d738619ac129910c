#include "island/island_layout.h"

namespace brimwick {
namespace {

constexpr double kItemHeight = 0.64;  // d, as a share of h
constexpr double kItemWidth = 1.1;    // item frames are 1.1·d wide

bool hits(const Rect& panel, const Rect& ear, double x, double y) {
    if (!(ear.width > 0)) return false;
    return Rect{panel.minX() + ear.minX(), panel.minY() + ear.minY(), ear.width, ear.height}
        .contains(x, y);
}

}  // namespace

void IslandLayout::setGeometry(const IslandGeometry& geometry) {
    if (geometry == geometry_) return;
    geometry_ = geometry;
    changed.emit();
}

void IslandLayout::setHovering(bool sessions, bool usage) {
    if (sessions == hoveringSessions_ && usage == hoveringUsage_) return;
    hoveringSessions_ = sessions;
    hoveringUsage_ = usage;
    changed.emit();
}

Rect panelFrame(const IslandGeometry& geometry) {
    const double width = geometry.housingWidth() + geometry.height + 2 * kEarColumnWidth;
    const double height = geometry.height + 14;
    return {geometry.housingCenter() - width / 2, geometry.screenFrame.minY(), width, height};
}

IslandEars islandEars(bool hasSessions, bool usageEnabled, const std::optional<PlanUsage>& usage) {
    return {hasSessions, usageEnabled && usage && (usage->session || usage->week)};
}

double islandMiddle(const IslandGeometry& geometry, IslandEars ears) {
    if (geometry.hasHousing && (ears.session || ears.usage)) return geometry.housingWidth();
    if (ears.session && ears.usage) return 0.3 * geometry.height;
    return 0;
}

double islandFlare(const IslandGeometry& geometry) {
    return geometry.hasHousing ? 0.28 * geometry.height : 0;
}

double islandRowX(double panelWidth, double middle) {
    return (panelWidth - (2 * kEarColumnWidth + middle)) / 2;
}

double sessionEarWidth(double h, double flare, bool withCount, int mascots) {
    const int items = (withCount ? 1 : 0) + (mascots > 0 ? mascots : 0);
    const double itemWidth = kItemWidth * kItemHeight * h;
    const double spacing = items > 1 ? (items - 1) * 0.16 * h : 0;
    return 0.2 * h + flare + items * itemWidth + spacing + 0.14 * h;
}

double usageEarWidth(double h, double flare, double textWidth) {
    return 0.14 * h + kItemWidth * kItemHeight * h + 0.18 * h + (textWidth > 0 ? textWidth : 0) +
           0.24 * h + flare;
}

EarHits hitEars(const Rect& panel, const Rect& sessionsFrame, const Rect& usageFrame,
                double pointerX, double pointerY) {
    return {hits(panel, sessionsFrame, pointerX, pointerY),
            hits(panel, usageFrame, pointerX, pointerY)};
}

}  // namespace brimwick
