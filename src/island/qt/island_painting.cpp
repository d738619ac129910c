#include "island/qt/island_painting.h"

#include <QFontDatabase>
#include <QImage>
#include <algorithm>
#include <cmath>

#include "mascot/qt/glow_blur.h"
#include "mascot/qt/hex_renderer.h"

namespace brimwick {

QFont islandFont(double pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setFamilies({QStringLiteral("Nunito"), QStringLiteral("Varela Round"),
                      QStringLiteral("M PLUS Rounded 1c"), QStringLiteral("DejaVu Sans"),
                      font.family()});
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QColor islandColor(const Rgb& rgb, double opacity) {
    return HexRenderer::color(rgb, opacity);
}

bool paintsOver(const QPainter& painter, const QRectF& area) {
    return !painter.hasClipping() || painter.clipBoundingRect().intersects(area);
}

void applyEffect(QPainter& painter, QPointF anchor, const Effect& effect) {
    if (effect.scale != 1) {
        painter.translate(anchor);
        painter.scale(effect.scale, effect.scale);
        painter.translate(-anchor);
    }
    painter.setOpacity(painter.opacity() * std::clamp(effect.opacity, 0.0, 1.0));
}

void drawBlurred(QPainter& painter, const QRectF& area, double radius,
                 const std::function<void(QPainter&)>& draw) {
    if (painter.opacity() <= 0.002 || area.isEmpty()) return;
    const QTransform device = painter.deviceTransform();
    double scale = std::sqrt(std::abs(device.determinant()));
    if (!(scale > 0)) return;
    // Room for the blur to spread beyond what is drawn.
    const QRectF layerArea = area.adjusted(-3 * radius, -3 * radius, 3 * radius, 3 * radius);
    const double reduce = std::max(1.0, std::floor(radius * scale / 2));
    scale /= reduce;
    const int width = static_cast<int>(std::ceil(layerArea.width() * scale));
    const int height = static_cast<int>(std::ceil(layerArea.height() * scale));
    if (width <= 0 || height <= 0) return;
    QImage layer(width, height, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter inner(&layer);
        inner.setRenderHint(QPainter::Antialiasing);
        inner.scale(width / layerArea.width(), height / layerArea.height());
        inner.translate(-layerArea.topLeft());
        draw(inner);
    }
    blurImage(layer, radius * scale);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(layerArea, layer);
    painter.restore();
}

}  // namespace brimwick
