// Draws one menu-bar icon frame: the small monochrome hexagon and its state's motion.
#pragma once

#include <QColor>
#include <QRectF>

#include "app/tray_icon_frame.h"

class QPainter;

namespace brimwick {

// Draws `frame` centred in `rect` (18 × 18 points is the icon's size). Everything is drawn in
// `ink` with per-element alpha, so only the alpha of the result carries the picture, like a
// template image. The painter's state is restored afterwards. GUI thread.
void drawMenuBarFrame(QPainter& painter, const QRectF& rect, const TrayIconFrame& frame,
                      const QColor& ink);

// The parts of a frame that move apart from each other, for TrayIconSprites: the outline with
// what stands still on it, the running highlight, and the centre (dot or small hexagon).
namespace IconPart {
enum : unsigned { base = 1, piece = 2, center = 4, all = 7 };
}

// Draws the `parts` of `frame` (its state and intro) with the pose and motion given instead of
// those of its instant.
void drawMenuBarParts(QPainter& painter, const QRectF& rect, const TrayIconFrame& frame,
                      const IconPose& pose, const IconMotion& motion, unsigned parts,
                      const QColor& ink);

}  // namespace brimwick
