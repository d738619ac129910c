#include "app/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

#include "mascot/qt/brand_mark.h"
#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

const QColor kInk(0x2b, 0x2e, 0x35);
const QColor kInside(0xf4, 0xf5, 0xf7);

// The light inside of the cell, the same outline as the cell's inner edge.
QPainterPath insidePath() {
    return QTransform::fromTranslate(50, 50).map(HexRenderer::hexPath(37, 7));
}

QString number(double value) {
    return QString::number(value, 'f', 3).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

QString svgPathData(const QPainterPath& path) {
    QString data;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                if (!data.isEmpty()) data += QStringLiteral("Z");
                data += QStringLiteral("M%1 %2").arg(number(e.x), number(e.y));
                break;
            case QPainterPath::LineToElement:
                data += QStringLiteral("L%1 %2").arg(number(e.x), number(e.y));
                break;
            case QPainterPath::CurveToElement: {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                data += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                            .arg(number(e.x), number(e.y), number(c2.x), number(c2.y),
                                 number(end.x), number(end.y));
                i += 2;
                break;
            }
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    if (!data.isEmpty()) data += QStringLiteral("Z");
    return data;
}

}  // namespace

QImage appIconImage(int pixels) {
    if (pixels <= 0) return {};
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / TamselMark::kDesignSide, pixels / TamselMark::kDesignSide);
    painter.setPen(Qt::NoPen);
    painter.fillPath(insidePath(), kInside);
    painter.fillPath(TamselMark::cellPath(), kInk);
    painter.fillPath(TamselMark::letterPath(), kInk);
    return image;
}

QString appIconSvg() {
    const QString ink = kInk.name();
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
               "viewBox=\"0 0 100 100\">\n"
               "  <path fill=\"%1\" d=\"%2\"/>\n"
               "  <path fill=\"%3\" fill-rule=\"evenodd\" d=\"%4\"/>\n"
               "  <path fill=\"%3\" d=\"%5\"/>\n"
               "</svg>\n")
        .arg(kInside.name(), svgPathData(insidePath()), ink, svgPathData(TamselMark::cellPath()),
             svgPathData(TamselMark::letterPath()));
}

}  // namespace brimwick
