#include "mascot/qt/hex_renderer.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "mascot/hex_outline.h"
#include "mascot/qt/glow_blur.h"
#include "mascot/qt/path_trim.h"

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegrees = 180 / kPi;

QPen bodyPen(const QColor& color, double width) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    return pen;
}

// The plain stroke of the ripple rings: butt caps. The rings are closed, tangent-continuous
// outlines, so the join style never shows; round joins keep Qt's stroker on its fast path
// (mitred joins on curves cost it about ten times as much).
QPen plainPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
}

void strokePath(QPainter& painter, const QPainterPath& path, const QPen& pen) {
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void fillPath(QPainter& painter, const QPainterPath& path, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(path);
}

void fillCircle(QPainter& painter, QPointF centre, double radius, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(centre, radius, radius);
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

// The "?" outline for a 1-point font, centred on the origin by its line box the way centred
// text is placed. Shaping text every frame would cost more than the whole frame.
const QPainterPath& questionGlyph() {
    static const QPainterPath glyph = [] {
        constexpr double kSize = 100;
        QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        // A rounded face when one is installed, as the symbol is meant to look soft.
        font.setFamilies({QStringLiteral("Nunito"), QStringLiteral("Varela Round"),
                          QStringLiteral("M PLUS Rounded 1c"), font.family()});
        font.setPixelSize(static_cast<int>(kSize));
        font.setWeight(QFont::ExtraBold);
        const QFontMetricsF metrics(font);
        const QString text = QStringLiteral("?");
        QPainterPath path;
        path.addText(-metrics.horizontalAdvance(text) / 2,
                     (metrics.ascent() - metrics.descent()) / 2, font, text);
        return QTransform::fromScale(1 / kSize, 1 / kSize).map(path);
    }();
    return glyph;
}

QPainterPath highlightPath(const QPainterPath& body, const Highlight& highlight) {
    if (highlight.count == 1 && highlight.spans[0] == TrimSpan{0, 1}) return body;
    const PathTrimmer trimmer(body);
    QPainterPath path;
    for (int i = 0; i < highlight.count; ++i) {
        trimmer.appendWrapped(path, highlight.spans[i].start, highlight.spans[i].end);
    }
    return path;
}

// Strokes `path` into an offscreen layer, blurs it and lays it over the drawing area. The glow
// has one colour, so only its coverage is drawn and blurred, then tinted.
void drawGlow(QPainter& painter, const QSizeF& size, const QTransform& pose,
              const QPainterPath& path, double lineWidth, const QColor& color, double blurRadius) {
    const QTransform device = painter.deviceTransform();
    double scale = std::sqrt(std::abs(device.determinant()));
    if (scale <= 0) return;
    // A wide blur hides detail finer than a few pixels, so the layer is drawn coarser (keeping
    // the blur at two pixels or more), which makes large glows cheap.
    const double reduce = std::max(1.0, std::floor(blurRadius * scale / 2));
    scale /= reduce;
    const int width = static_cast<int>(std::ceil(size.width() * scale));
    const int height = static_cast<int>(std::ceil(size.height() * scale));
    if (width <= 0 || height <= 0) return;
    QImage coverage(width, height, QImage::Format_Alpha8);
    coverage.fill(0);
    {
        QPainter layer(&coverage);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.scale(width / size.width(), height / size.height());
        layer.setTransform(pose, true);
        strokePath(layer, path, bodyPen(Qt::black, lineWidth));
    }
    blurImage(coverage, blurRadius * scale);

    QImage glow(width, height, QImage::Format_ARGB32_Premultiplied);
    const QRgb opaque = color.rgb();
    const int alpha = color.alpha();
    for (int y = 0; y < height; ++y) {
        const uchar* in = coverage.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(glow.scanLine(y));
        for (int x = 0; x < width; ++x) {
            out[x] = qPremultiply(
                qRgba(qRed(opaque), qGreen(opaque), qBlue(opaque), (in[x] * alpha + 127) / 255));
        }
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), size), glow);
}

}  // namespace

QPainterPath HexRenderer::hexPath(double radius, double corner) {
    const auto outline = hexOutline(radius, corner);
    if (!outline) return {};
    const auto at = [](HexPoint p) { return QPointF(p.x, p.y); };
    QPainterPath path;
    path.moveTo(at(outline->start));
    for (const HexCorner& each : outline->corners) {
        path.lineTo(at(each.lineTo));
        if (each.curved) path.cubicTo(at(each.control1), at(each.control2), at(each.end));
    }
    path.closeSubpath();
    return path;
}

QColor HexRenderer::color(const Rgb& rgb, double opacity) {
    return QColor::fromRgbF(static_cast<float>(rgb.red), static_cast<float>(rgb.green),
                            static_cast<float>(rgb.blue),
                            static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
}

void HexRenderer::draw(QPainter& painter, const QSizeF& size, const AgentSession& session,
                       Instant now) {
    const MascotTimes times = mascotTimes(now, session.stateChangedAt, session.seed);
    drawFrame(painter, size, session.state, session.previousState, times.t, times.since);
}

void HexRenderer::drawFrame(QPainter& painter, const QSizeF& size, BotState state,
                            BotState previousState, double t, double since) {
    since = std::max(0.0, since);
    drawParts(painter, size, state, color(blendedTint(previousState, state, since)),
              makePose(state, t, since), highlightSpans(state, t, since),
              centerMotion(state, t, since));
}

double HexRenderer::radius(const QSizeF& size) {
    return 0.38 * std::min(size.width(), size.height());
}

double HexRenderer::lineWidth(double radius) {
    return std::max(0.16 * radius, 1.2);
}

void HexRenderer::drawParts(QPainter& painter, const QSizeF& size, BotState state,
                            const QColor& tint, const Pose& pose, const Highlight& highlight,
                            const CenterMotion& center, unsigned parts) {
    if (size.isEmpty()) return;
    const double R = radius(size);
    const double lw = lineWidth(R);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * std::clamp(pose.opacity, 0.0, 1.0));
    const QTransform base = painter.transform();
    QTransform posed;
    posed.translate(size.width() / 2 + pose.dx * R, size.height() / 2);
    posed.rotate(pose.angle * kDegrees);
    posed.scale(pose.scale, pose.scale);

    const QPainterPath body = hexPath(R, 0.24 * R);
    const QPainterPath stroked =
        parts & (glow | stroke) ? highlightPath(body, highlight) : QPainterPath();
    painter.setTransform(posed * base);
    if (parts & track) strokePath(painter, body, bodyPen(withOpacity(tint, 0.22), lw));
    if ((parts & glow) && pose.glow > 0 && !stroked.isEmpty()) {
        painter.setTransform(base);
        drawGlow(painter, size, posed, stroked, lw, withOpacity(tint, 0.7 * pose.glow), 1.6 * lw);
        painter.setTransform(posed * base);
    }
    if ((parts & stroke) && !stroked.isEmpty()) strokePath(painter, stroked, bodyPen(tint, lw));
    drawCenter(painter, state, tint, R, lw, center, parts);
    painter.restore();
}

void HexRenderer::drawCenter(QPainter& painter, BotState state, const QColor& tint, double R,
                             double lw, double t, double since) {
    drawCenter(painter, state, tint, R, lw, centerMotion(state, t, since));
}

void HexRenderer::drawCenter(QPainter& painter, BotState state, const QColor& tint, double R,
                             double lw, const CenterMotion& motion, unsigned parts) {
    const QColor dark(0, 0, 0, 217);  // black at 0.85
    const bool ink = parts & symbol;
    switch (state) {
        case BotState::greeting:
        case BotState::idle:
        case BotState::searching:
        case BotState::thinking:
            if (ink) fillCircle(painter, {0, 0}, motion.dot * R, tint);
            break;
        case BotState::working:
            if (ink) fillPath(painter, hexPath(0.34 * R, 0.08 * R), tint);
            break;
        case BotState::approval: {
            const double p = motion.ripple;
            if (parts & ripple) {
                strokePath(painter, hexPath(R * (1 + 0.3 * p), 0.3 * R),
                           plainPen(withOpacity(tint, motion.rippleOpacity), 0.6 * lw));
            }
            if (ink) fillPath(painter, hexPath(0.62 * R, 0.14 * R), tint);
            if (parts & mark) {
                QPen pen(dark, 0.8 * lw, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
                painter.setPen(pen);
                painter.drawLine(QPointF(0, -0.3 * R), QPointF(0, 0.02 * R));
                fillCircle(painter, {0, 0.25 * R}, 0.45 * lw, dark);
            }
            break;
        }
        case BotState::question: {
            if (ink) fillPath(painter, hexPath(0.62 * R, 0.14 * R), withOpacity(tint, motion.fill));
            if (parts & mark) {
                QTransform place;
                place.translate(0, 0.02 * R);
                place.scale(0.78 * R, 0.78 * R);
                fillPath(painter, place.map(questionGlyph()), dark);
            }
            break;
        }
        case BotState::finished: {
            if (ink && motion.check > 0) {
                QPainterPath check;
                check.moveTo(-0.32 * R, 0.02 * R);
                check.lineTo(-0.08 * R, 0.26 * R);
                check.lineTo(0.34 * R, -0.22 * R);
                strokePath(painter, motion.check >= 1 ? check : trimmedPath(check, 0, motion.check),
                           bodyPen(tint, lw));
            }
            if ((parts & ring) && motion.ring < 1) {
                const double q = motion.ring;
                strokePath(painter, hexPath(R * (1 + 0.3 * q), 0.3 * R),
                           plainPen(withOpacity(tint, 0.6 * (1 - q)), 0.6 * lw));
            }
            break;
        }
        case BotState::error: {
            if (ink) {
                painter.setPen(bodyPen(tint, lw));
                painter.drawLine(QPointF(-0.26 * R, 0), QPointF(0.26 * R, 0));
            }
            break;
        }
        case BotState::sleeping:
            break;
    }
}

}  // namespace brimwick
