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

}  // namespace brimwick
