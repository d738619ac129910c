// Island painting helpers: the rounded face for the island's numbers, effects applied around an
// anchor, and offscreen layers drawn blurred.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <functional>

#include "island/view_effects.h"
#include "mascot/mascot_palette.h"

namespace brimwick {

// A rounded sans face (the first installed of a few rounded families, else the system's) at
// `pixelSize` with `weight`. Digits of the fallback faces are all the same width.
QFont islandFont(double pixelSize, QFont::Weight weight);

QColor islandColor(const Rgb& rgb, double opacity = 1);

// Whether anything drawn inside `area` (the painter's coordinates) can reach the painter's clip;
// always true without a clip.
bool paintsOver(const QPainter& painter, const QRectF& area);

// Scales the painter about `anchor` by the effect's scale and multiplies its opacity.
void applyEffect(QPainter& painter, QPointF anchor, const Effect& effect);

// Draws what `draw` paints (in the painter's current coordinates, inside `area`) through an
// offscreen layer blurred with a Gaussian of `radius` points, at the painter's opacity. The
// layer is as coarse as the blur allows, so wide blurs stay cheap.
void drawBlurred(QPainter& painter, const QRectF& area, double radius,
                 const std::function<void(QPainter&)>& draw);

}  // namespace brimwick
