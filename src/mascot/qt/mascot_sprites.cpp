#include "mascot/qt/mascot_sprites.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "mascot/mascot_motion.h"
#include "mascot/mascot_palette.h"
#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

using Part = HexRenderer::Part;

// Positions kept along each cycle: at least one per 60 Hz frame at the motion's fastest.
constexpr int kSubpixel = 64;         // the mascot's place, in 1/64 device pixel
constexpr int kThinkingSteps = 120;   // highlight start, 0.55 of the outline a second
constexpr int kDotSteps = 32;         // thinking dot, sin(4t) from −1 to 1
constexpr int kTurnSteps = 26;        // working turn, 0.42 s of each 1.2 s
constexpr int kRunSteps = 28;         // working pieces, half the outline in 0.45 s
constexpr int kSwingSteps = 100;      // searching piece, at most 0.63 of the outline a second
constexpr int kPulseSteps = 16;       // approval pulse, max(0, sin(5t))
constexpr int kRippleSteps = 48;      // approval ripple, its radius from R to 1.38 R
constexpr double kRippleReach = 0.4;  // how far past R the steps reach
constexpr int kTiltSteps = 80;        // question tilt, sin(1.5t) from −1 to 1
constexpr int kShakeSteps = 8;        // error shake, in 1/8 device pixel

// Parts drawn together into one mask; several states keep each separately.
constexpr unsigned kUnder = Part::track | Part::glow | Part::stroke;
constexpr unsigned kWhole = kUnder | Part::symbol | Part::mark;

// Layer ids within a state's keys.
enum Layer : int { whole, track, glow, stroke, symbol, mark, under, ripple };

int step(double value, int steps) {
    return static_cast<int>(std::lround(value * steps));
}

// A rounded value in [0, 1) as a step that wraps at `steps`.
int wrappedStep(double value, int steps) {
    return step(value, steps) % steps;
}

double smoothStep(double e) {
    return e * e * (3 - 2 * e);
}

}  // namespace

bool MascotSprites::repeats(BotState state, double since) {
    if (since < 0.35) return false;  // the colour is still sliding from the previous state's
    if (state == BotState::greeting) return since >= 0.7;
    if (state == BotState::finished) return since >= 0.9;
    return true;
}

void MascotSprites::draw(QPainter& painter, const QSizeF& size, const AgentSession& session,
                         Instant now) {
    const MascotTimes times = mascotTimes(now, session.stateChangedAt, session.seed);
    drawFrame(painter, size, session.state, session.previousState, times.t, times.since);
}

void MascotSprites::drawFrame(QPainter& painter, const QSizeF& size, BotState state,
                              BotState previousState, double t, double since) {
    since = std::max(0.0, since);
    const QTransform device = painter.deviceTransform();
    const bool plain = device.type() <= QTransform::TxScale && device.m11() == device.m22() &&
                       device.m11() > 0 && painter.opacity() >= 1;
    if (!plain || size.isEmpty() || !repeats(state, since)) {
        ++liveFrames_;
        HexRenderer::drawFrame(painter, size, state, previousState, t, since);
        return;
    }
    const double scale = device.m11();
    if (size != size_ || scale != scale_) {
        cache_.clear();
        size_ = size;
        scale_ = scale;
    }

    // Where the drawing area's origin falls: whole device pixels and a rounded fraction.
    const QPointF origin = device.map(QPointF(0, 0));
    QPoint pixel(static_cast<int>(std::floor(origin.x())),
                 static_cast<int>(std::floor(origin.y())));
    QPoint fraction(step(origin.x() - pixel.x(), kSubpixel),
                    step(origin.y() - pixel.y(), kSubpixel));
    if (fraction.x() == kSubpixel) fraction.rx() = 0, pixel.rx() += 1;
    if (fraction.y() == kSubpixel) fraction.ry() = 0, pixel.ry() += 1;

    const double R = HexRenderer::radius(size);
    const int margin = static_cast<int>(std::ceil(0.2 * R * scale)) + 2;
    const QRect canvas(-margin, -margin,
                       static_cast<int>(std::ceil(size.width() * scale)) + 2 * margin,
                       static_cast<int>(std::ceil(size.height() * scale)) + 2 * margin);
    const QColor tint = HexRenderer::color(paletteColor(state));
    const QRgb ink = tint.rgb();
    const QRgb dark = qRgb(0, 0, 0);
    const std::int32_t place = fraction.x() | fraction.y() << 8;

    // The parts drawn with the given motion, kept under (layer, a, b).
    const auto part = [&](int layer, int a, int b, unsigned parts, const Pose& pose,
                          const Highlight& highlight, const CenterMotion& center) {
        return cache_.get({static_cast<int>(state) << 8 | layer, a, b, place}, [&] {
            return renderMask(canvas, [&](QPainter& p) {
                p.translate(QPointF(fraction) / kSubpixel);
                p.scale(scale, scale);
                HexRenderer::drawParts(p, size, state, tint, pose, highlight, center, parts);
            });
        });
    };
    // The look at rest: no time-driven motion, the state's own glow, full opacity.
    const Pose rest = [&] {
        Pose p = makePose(state, 0, 10);
        p.opacity = 1;
        return p;
    }();
    const Highlight full = highlightSpans(state, 0, 10);
    const CenterMotion center = centerMotion(state, 0, 10);
    const Pose pose = makePose(state, t, since);

    std::array<MaskLayer, 5> layers;
    std::size_t count = 0;
    const auto add = [&](Mask mask, QRgb color, double opacity) {
        layers[count++] = {std::move(mask), color, opacity};
    };
    switch (state) {
        case BotState::greeting:
        case BotState::finished:
            add(part(whole, 0, 0, kWhole, rest, full, center), ink, 1);
            break;
        case BotState::idle:
        case BotState::sleeping:
            // The mascot's opacity applies to each part, as when they are painted in turn.
            add(part(track, 0, 0, Part::track, rest, full, center), ink, pose.opacity);
            add(part(glow, 0, 0, Part::glow, rest, full, center), ink, pose.opacity);
            add(part(stroke, 0, 0, Part::stroke, rest, full, center), ink, pose.opacity);
            if (state == BotState::idle) {
                add(part(symbol, 0, 0, Part::symbol, rest, full, center), ink, pose.opacity);
            }
            break;
        case BotState::thinking: {
            const int f = wrappedStep(frac(0.55 * t), kThinkingSteps);
            Highlight piece;
            piece.spans[0] = {double(f) / kThinkingSteps, double(f) / kThinkingSteps + 0.34};
            const int v = step((std::sin(4 * t) + 1) / 2, kDotSteps);
            CenterMotion dot;
            dot.dot = 0.13 + 0.05 * (2.0 * v / kDotSteps - 1);
            Pose unitGlow = rest;
            unitGlow.glow = 1;  // the breathing strength is applied when composing
            add(part(track, 0, 0, Part::track, rest, full, center), ink, 1);
            add(part(glow, f, 0, Part::glow, unitGlow, piece, center), ink, pose.glow);
            add(part(stroke, f, 0, Part::stroke, rest, piece, center), ink, 1);
            add(part(symbol, v, 0, Part::symbol, rest, full, dot), ink, 1);
            break;
        }
        case BotState::working: {
            // A turn by 60° carries the outline onto itself with every point moved by a sixth
            // of its length, so the picture depends only on how far the current turn has got
            // and on where the pieces are relative to the turned outline.
            double turns = std::floor(t / 1.2);
            const int e = step(std::min(frac(t / 1.2) / 0.35, 1.0), kTurnSteps);
            double turned = smoothStep(double(e) / kTurnSteps);
            if (e == kTurnSteps) turned = 0, turns += 1;
            const double run = std::fmod(frac(1.1 * t + turns / 6), 0.5);
            const int a = wrappedStep(run / 0.5, kRunSteps);
            Pose posed = rest;
            posed.angle = turned * std::numbers::pi / 3;
            Highlight pieces;
            const double start = 0.5 * a / kRunSteps;
            pieces.spans = {TrimSpan{start, start + 0.2}, TrimSpan{start + 0.5, start + 0.7}};
            pieces.count = 2;
            add(part(whole, e == kTurnSteps ? 0 : e, a, kWhole, posed, pieces, center), ink, 1);
            break;
        }
        case BotState::searching: {
            const int s = wrappedStep(frac(0.33 + 0.3 * std::sin(2.1 * t)), kSwingSteps);
            Highlight piece;
            piece.spans[0] = {double(s) / kSwingSteps, double(s) / kSwingSteps + 0.26};
            add(part(whole, s, 0, kWhole, rest, piece, center), ink, 1);
            break;
        }
        case BotState::approval: {
            const int u = step(std::max(0.0, std::sin(5 * t)), kPulseSteps);
            Pose pulsed = rest;
            pulsed.scale = 1 + 0.06 * u / kPulseSteps;
            // The ripple is kept by its radius alone, the body's pulse included, and fades
            // when composing. Its line then keeps the width it has at rest instead of pulsing
            // with the body by up to 6 % (a tenth of a device pixel at most).
            const CenterMotion spreading = centerMotion(state, t, since);
            const double reach = pose.scale * (1 + 0.3 * spreading.ripple) - 1;
            const int r = step(reach / kRippleReach, kRippleSteps);
            CenterMotion ring = center;
            ring.ripple = r * kRippleReach / kRippleSteps / 0.3;
            ring.rippleOpacity = 1;
            add(part(under, u, 0, kUnder, pulsed, full, center), ink, 1);
            add(part(Layer::ripple, r, 0, Part::ripple, rest, full, ring), ink,
                spreading.rippleOpacity);
            add(part(symbol, u, 0, Part::symbol, pulsed, full, center), ink, 1);
            add(part(mark, u, 0, Part::mark, pulsed, full, center), dark, 1);
            break;
        }
        case BotState::question: {
            const int v = step((std::sin(1.5 * t) + 1) / 2, kTiltSteps);
            Pose tilted = rest;
            tilted.angle = 0.14 * (2.0 * v / kTiltSteps - 1);
            CenterMotion opaque = center;
            opaque.fill = 1;  // its breathing is applied when composing
            add(part(under, v, 0, kUnder, tilted, full, center), ink, 1);
            add(part(symbol, v, 0, Part::symbol, tilted, full, opaque), ink,
                centerMotion(state, t, since).fill);
            add(part(mark, v, 0, Part::mark, tilted, full, center), dark, 1);
            break;
        }
        case BotState::error: {
            const int d = step(pose.dx * R * scale, kShakeSteps);
            Pose shaken = rest;
            shaken.dx = d / (R * scale * kShakeSteps);
            add(part(whole, d, 0, kWhole, shaken, full, center), ink, 1);
            break;
        }
    }

    if (scratch_.size() != canvas.size()) {
        scratch_ = QImage(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    }
    scratch_.fill(Qt::transparent);
    composeMasks(scratch_, QPoint(margin, margin), std::span(layers.data(), count));
    // Laid on whole device pixels: the fraction is in the masks.
    const QTransform user = painter.worldTransform();
    const QTransform base = user.inverted() * device;
    painter.save();
    painter.setWorldTransform(QTransform::fromTranslate(pixel.x() - margin, pixel.y() - margin) *
                              base.inverted());
    painter.drawImage(QPointF(0, 0), scratch_);
    painter.restore();
}

}  // namespace brimwick
