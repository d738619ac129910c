#include "app/qt/tray_icon_frame_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "mascot/mascot_motion.h"
#include "mascot/qt/hex_renderer.h"
#include "mascot/qt/path_trim.h"

namespace brimwick {
namespace {

constexpr double kOutlineRadius = 7.4;
constexpr double kOutlineCorner = 1.8;
constexpr double kLineWidth = 1.7;
constexpr double kDotRadius = 1.9;
constexpr double kDegrees = 180 / 3.14159265358979323846;

class Ink {
  public:
    Ink(QPainter& painter, const QColor& ink) : painter_(painter), ink_(ink) {}

    QColor at(double alpha) const {
        QColor color = ink_;
        color.setAlphaF(static_cast<float>(std::clamp(ink_.alphaF() * alpha, 0.0, 1.0)));
        return color;
    }

    void stroke(const QPainterPath& path, double alpha) const {
        painter_.setPen(QPen(at(alpha), kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPath(path);
    }

    void fill(const QPainterPath& path, double alpha) const {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(at(alpha));
        painter_.drawPath(path);
    }

    void dot(QPointF centre, double radius, double alpha) const {
        if (radius <= 0) return;
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(at(alpha));
        painter_.drawEllipse(centre, radius, radius);
    }

  private:
    QPainter& painter_;
    QColor ink_;
};

bool has(unsigned parts, unsigned part) {
    return (parts & part) != 0;
}

void drawState(const Ink& ink, const QPainterPath& outline, std::optional<BotState> state,
               const IconMotion& motion, unsigned parts) {
    const bool base = has(parts, IconPart::base), piece = has(parts, IconPart::piece),
               center = has(parts, IconPart::center);
    if (!state) {
        if (base) ink.stroke(outline, 1);
        if (center) ink.dot({0, 0}, motion.dot, 1);
        return;
    }
    switch (*state) {
        case BotState::greeting:
        case BotState::idle:
        case BotState::question:
            if (base) ink.stroke(outline, 1);
            if (center) ink.dot({0, 0}, motion.dot, 1);
            break;
        case BotState::thinking:
        case BotState::searching:
            if (base) ink.stroke(outline, 0.3);
            if (piece) {
                const double length = *state == BotState::thinking ? 0.34 : 0.26;
                ink.stroke(wrappedTrim(outline, motion.piece, motion.piece + length), 1);
            }
            if (center) ink.dot({0, 0}, motion.dot, 1);
            break;
        case BotState::working: {
            if (base) ink.stroke(outline, 0.3);
            if (piece) {
                const PathTrimmer trimmer(outline);
                QPainterPath pieces;
                const double a = motion.piece, b = frac(motion.piece + 0.5);
                trimmer.appendWrapped(pieces, a, a + 0.2);
                trimmer.appendWrapped(pieces, b, b + 0.2);
                ink.stroke(pieces, 1);
            }
            if (center) {
                const QTransform turn = QTransform().rotate(motion.turn * kDegrees);
                ink.fill(turn.map(HexRenderer::hexPath(2.7, 0.6)), 1);
            }
            break;
        }
        case BotState::approval: {
            if (!base) break;
            ink.fill(outline, motion.fill);
            ink.stroke(outline, 1);
            QPainterPath bar;
            bar.moveTo(0, -3.3);
            bar.lineTo(0, 0.5);
            ink.stroke(bar, 1);
            ink.dot({0, 3.1}, 1, 1);
            break;
        }
        case BotState::finished: {
            if (!base) break;
            ink.stroke(outline, 1);
            QPainterPath check;
            check.moveTo(-2.9, 0.2);
            check.lineTo(-0.8, 2.3);
            check.lineTo(3.0, -2.0);
            const double drawn = motion.check;
            if (drawn > 0) ink.stroke(drawn >= 1 ? check : trimmedPath(check, 0, drawn), 1);
            break;
        }
        case BotState::error: {
            if (!base) break;
            ink.stroke(outline, 1);
            QPainterPath bar;
            bar.moveTo(-2.4, 0);
            bar.lineTo(2.4, 0);
            ink.stroke(bar, 1);
            break;
        }
        case BotState::sleeping:
            if (base) {
                ink.stroke(outline, 0.55);
                ink.dot({0, 0}, motion.dot, 0.55);
            }
            break;
    }
}

}  // namespace

void drawMenuBarFrame(QPainter& painter, const QRectF& rect, const TrayIconFrame& frame,
                      const QColor& ink) {
    drawMenuBarParts(painter, rect, frame, trayIconPose(frame), trayIconMotion(frame),
                     IconPart::all, ink);
}

void drawMenuBarParts(QPainter& painter, const QRectF& rect, const TrayIconFrame& frame,
                      const IconPose& pose, const IconMotion& motion, unsigned parts,
                      const QColor& ink) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center() + QPointF(pose.dx, 0));
    painter.rotate(pose.angle * kDegrees);
    painter.scale(pose.scale, pose.scale);

    const Ink pen(painter, ink);
    const QPainterPath outline = HexRenderer::hexPath(kOutlineRadius, kOutlineCorner);
    if (frame.intro < 1) {
        const double drawn = drawnFraction(frame.intro);
        if (drawn > 0) pen.stroke(trimmedPath(outline, 0, drawn), 1);
        if (frame.intro > 0.6) {
            pen.dot({0, 0}, kDotRadius * std::min((frame.intro - 0.6) / 0.4, 1.0), 1);
        }
    } else {
        drawState(pen, outline, frame.state, motion, parts);
    }
    painter.restore();
}

}  // namespace brimwick
