#include "island/qt/island_shapes.h"

#include <algorithm>

#include "mascot/qt/hex_renderer.h"
#include "mascot/qt/path_trim.h"

namespace brimwick {
namespace {

QPainterPath centredHexagon(const QRectF& rect, double corner) {
    const double radius = std::min(rect.width(), rect.height()) / 2;
    QPainterPath path = HexRenderer::hexPath(radius, corner * radius);
    path.translate(rect.center());
    return path;
}

}  // namespace

QPainterPath IslandShape::path(const QRectF& rect) const {
    const IslandOutline o =
        IslandOutline::measure(Rect{rect.x(), rect.y(), rect.width(), rect.height()}, inputs);
    QPainterPath path;
    if (o.empty) return path;
    const double f = o.flare;
    const double r = o.radius;
    path.moveTo(o.left, o.top);
    path.quadTo(o.left + f, o.top, o.left + f, o.top + f);
    // Tangent arcs round the two bottom corners; Qt measures angles anticlockwise from 3 o'clock.
    if (r > 0) {
        path.arcTo(QRectF(o.left + f, o.bottom - 2 * r, 2 * r, 2 * r), 180, 90);
        path.arcTo(QRectF(o.right - f - 2 * r, o.bottom - 2 * r, 2 * r, 2 * r), 270, 90);
    } else {
        path.lineTo(o.left + f, o.bottom);
        path.lineTo(o.right - f, o.bottom);
    }
    path.lineTo(o.right - f, o.top + f);
    path.quadTo(o.right - f, o.top, o.right, o.top);
    path.closeSubpath();
    return path;
}

QPainterPath HexShape::path(const QRectF& rect) const {
    return centredHexagon(rect, corner);
}

QPainterPath PlusShape::path(const QRectF& rect) const {
    QPainterPath path;
    path.moveTo(rect.center().x(), rect.top());
    path.lineTo(rect.center().x(), rect.bottom());
    path.moveTo(rect.left(), rect.center().y());
    path.lineTo(rect.right(), rect.center().y());
    return path;
}

QPainterPath HexArc::path(const QRectF& rect) const {
    const double f = fraction > 0 ? fraction : 0;  // NaN draws nothing too
    if (!(f > 0)) return {};
    const double start = 11.0 / 12.0;
    const double end = f < 1 ? start + f : start + 1;
    return wrappedTrim(centredHexagon(rect, corner), start, end);
}

}  // namespace brimwick
