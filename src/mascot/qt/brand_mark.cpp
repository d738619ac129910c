#include "mascot/qt/brand_mark.h"

#include <QPainter>
#include <cmath>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {

QPainterPath TamselMark::cellPath() {
    const QTransform centre = QTransform::fromTranslate(50, 50);
    QPainterPath ring = centre.map(HexRenderer::hexPath(47, 11));
    ring.addPath(centre.map(HexRenderer::hexPath(37, 7)));
    ring.setFillRule(Qt::OddEvenFill);
    return ring;
}

QPainterPath TamselMark::letterPath() {
    // A T of two rounded bars; the bar ends stay clear of the cell's inner slopes.
    QPainterPath bar, stem;
    bar.addRoundedRect(QRectF(30, 29, 40, 10), 5, 5);
    stem.addRoundedRect(QRectF(45, 29, 10, 44), 5, 5);
    return bar.united(stem);
}

void TamselMark::draw(QPainter& painter, const QPointF& origin, double side, const QColor& color) {
    if (side <= 0) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(origin);
    painter.scale(side / kDesignSide, side / kDesignSide);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(cellPath());
    painter.drawPath(letterPath());
    painter.restore();
}

QImage TamselMark::markImage(double side, const QColor& color, double devicePixelRatio) {
    if (side <= 0 || devicePixelRatio <= 0) return {};
    const int pixels = static_cast<int>(std::ceil(side * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    draw(painter, {0, 0}, side, color);
    return image;
}

}  // namespace brimwick
