#include "app/qt/tray_icon_sprites.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "app/qt/tray_icon_frame_painter.h"
#include "mascot/mascot_motion.h"

namespace brimwick {
namespace {

// Positions kept along each cycle: at least one per 1/30 s at the motion's fastest.
constexpr int kThinkingSteps = 60;  // highlight start, 0.55 of the outline a second
constexpr int kDotSteps = 16;       // a dot's breathing, from its smallest to its largest
constexpr int kRunSteps = 16;       // working pieces, half the outline in 0.45 s
constexpr int kTurnSteps = 14;      // working centre, a turn in 0.42 s
constexpr int kSwingSteps = 100;    // searching piece, at most 0.63 of the outline a second
constexpr int kPulseSteps = 16;     // approval pulse, max(0, sin(5t))
constexpr int kTiltSteps = 32;      // question tilt, sin(1.5t) from −1 to 1

constexpr int kNoState = 10;  // the key of "no sessions"

int step(double value, int steps) {
    return static_cast<int>(std::lround(value * steps));
}

int wrappedStep(double value, int steps) {
    return step(value, steps) % steps;
}

}  // namespace

bool TrayIconSprites::repeats(const TrayIconFrame& frame) {
    if (frame.intro < 1) return false;
    if (frame.state == BotState::finished) return frame.since >= 0.45;
    if (frame.state == BotState::error) return frame.since >= 0.55;
    return true;
}

QImage TrayIconSprites::image(const TrayIconFrame& frame, double side, double ratio,
                              const QColor& ink) {
    const int pixels = static_cast<int>(std::ceil(side * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    const QRectF rect(0, 0, side, side);
    if (!repeats(frame)) {
        QPainter painter(&image);
        drawMenuBarFrame(painter, rect, frame, ink);
        return image;
    }
    if (side != side_ || ratio != ratio_) {
        cache_.clear();
        side_ = side;
        ratio_ = ratio;
    }

    const int state = frame.state ? static_cast<int>(*frame.state) : kNoState;
    // The parts drawn with the given pose and motion, kept under (layer, q).
    const auto part = [&](unsigned parts, int q, const IconPose& pose, const IconMotion& motion) {
        return cache_.get({state, static_cast<int>(parts), q, 0}, [&] {
            return renderMask(QRect(0, 0, pixels, pixels), [&](QPainter& p) {
                p.scale(ratio, ratio);
                drawMenuBarParts(p, rect, frame, pose, motion, parts, Qt::black);
            });
        });
    };

    const double t = frame.t;
    std::array<MaskLayer, 3> layers;
    std::size_t count = 0;
    const auto add = [&](Mask mask) {
        layers[count++] = {std::move(mask), ink.rgb(), ink.alphaF()};
    };
    IconMotion motion;
    switch (frame.state.value_or(BotState::idle)) {
        case BotState::thinking: {
            const int f = wrappedStep(frac(0.55 * t), kThinkingSteps);
            const int v = step((std::sin(4 * t) + 1) / 2, kDotSteps);
            add(part(IconPart::base, 0, {}, motion));
            motion.piece = double(f) / kThinkingSteps;
            add(part(IconPart::piece, f, {}, motion));
            motion.dot = 1.9 * (0.85 + 0.2 * (2.0 * v / kDotSteps - 1));
            add(part(IconPart::center, v, {}, motion));
            break;
        }
        case BotState::working: {
            // The small hexagon looks the same after every 60° turn.
            const int a = wrappedStep(std::fmod(frac(1.1 * t), 0.5) / 0.5, kRunSteps);
            const int e = step(std::min(frac(t / 1.2) / 0.35, 1.0), kTurnSteps) % kTurnSteps;
            add(part(IconPart::base, 0, {}, motion));
            motion.piece = 0.5 * a / kRunSteps;
            add(part(IconPart::piece, a, {}, motion));
            const double turned = double(e) / kTurnSteps;
            motion.turn = turned * turned * (3 - 2 * turned) * std::numbers::pi / 3;
            add(part(IconPart::center, e, {}, motion));
            break;
        }
        case BotState::searching: {
            const int s = wrappedStep(frac(0.33 + 0.3 * std::sin(2.1 * t)), kSwingSteps);
            add(part(IconPart::base | IconPart::center, 0, {}, motion));
            motion.piece = double(s) / kSwingSteps;
            add(part(IconPart::piece, s, {}, motion));
            break;
        }
        case BotState::approval: {
            const int u = step(std::max(0.0, std::sin(5 * t)), kPulseSteps);
            IconPose pose;
            pose.scale = 1 + 0.06 * u / kPulseSteps;
            motion.fill = 0.12 + 0.18 * u / kPulseSteps;
            add(part(IconPart::all, u, pose, motion));
            break;
        }
        case BotState::question: {
            const int v = step((std::sin(1.5 * t) + 1) / 2, kTiltSteps);
            const int w = step(std::max(0.0, std::sin(4 * t)), kDotSteps);
            IconPose pose;
            pose.angle = 0.14 * (2.0 * v / kTiltSteps - 1);
            add(part(IconPart::base, v, pose, motion));
            motion.dot = 1.9 + 0.7 * w / kDotSteps;  // a dot in the middle turns into itself
            add(part(IconPart::center, w, {}, motion));
            break;
        }
        default:
            // Still pictures: no sessions, greeting, idle, sleeping, a drawn check, a settled bar.
            add(part(IconPart::all, 0, trayIconPose(frame), trayIconMotion(frame)));
            break;
    }
    composeMasks(image, QPoint(0, 0), std::span(layers.data(), count));
    return image;
}

QImage withRim(QImage image, const QColor& ink) {
    const double ratio = image.devicePixelRatio();
    constexpr double kRimAlpha = 0.75;
    const QRgb rim = ink.lightnessF() >= 0.5 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    const int reach = std::max(1, static_cast<int>(std::lround(ratio)));
    const int w = image.width(), h = image.height();
    QImage under(w, h, QImage::Format_ARGB32_Premultiplied);
    under.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(under.scanLine(y));
        for (int x = 0; x < w; ++x) {
            int alpha = 0;
            for (int dy = std::max(0, y - reach); dy <= std::min(h - 1, y + reach); ++dy) {
                const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(dy));
                for (int dx = std::max(0, x - reach); dx <= std::min(w - 1, x + reach); ++dx) {
                    alpha = std::max(alpha, qAlpha(in[dx]));
                }
            }
            out[x] = qPremultiply(
                qRgba(qRed(rim), qGreen(rim), qBlue(rim), static_cast<int>(alpha * kRimAlpha)));
        }
    }
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    painter.drawImage(QPointF(0, 0), under);
    painter.end();
    return image;
}

}  // namespace brimwick
