#include "mascot/qt/mascot_icon.h"

#include <QPainter>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {

QImage mascotIcon(BotState state, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(0, 0, pixels, pixels), pixels * 0.22, pixels * 0.22);
    const double inset = pixels * 0.12;
    painter.translate(inset, inset);
    // Long after the state began: the settled frame, not an entrance.
    HexRenderer::drawFrame(painter, QSizeF(pixels - 2 * inset, pixels - 2 * inset), state, state,
                           0.0, 60.0);
    return image;
}

}  // namespace brimwick
