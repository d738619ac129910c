#include "mascot/mascot_motion.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

constexpr double kForever = std::numeric_limits<double>::infinity();
constexpr double kBlendSeconds = 0.35;  // the colour slide after a change (mascot_palette)

// The error shake runs on entry and again every 2.4 s from 0.8 s on; each lasts 0.55 s.
constexpr double kShakeFirstRepeat = 0.8, kShakeEvery = 2.4, kShakeSeconds = 0.55;

// Seconds into the current shake cycle.
double shakePhase(double since) {
    return since < kShakeFirstRepeat ? since : std::fmod(since - kShakeFirstRepeat, kShakeEvery);
}

double errorShakeOffset(double since) {
    const double s = shakePhase(since);
    if (s < 0 || s >= kShakeSeconds) return 0;
    return 0.18 * std::sin(48 * s) * (1 - s / kShakeSeconds);
}

}  // namespace

double frac(double x) {
    return x - std::floor(x);
}

double drawnFraction(double p) {
    const double rest = 1 - std::clamp(p, 0.0, 1.0);
    return 1 - rest * rest * rest;
}

double hexTurnAngle(double t) {
    const double n = std::floor(t / 1.2);
    const double e = std::min(frac(t / 1.2) / 0.35, 1.0);
    return (n + e * e * (3 - 2 * e)) * kPi / 3;
}

Pose makePose(BotState state, double t, double since) {
    Pose pose;
    switch (state) {
        case BotState::greeting: {
            const double g = std::min(since / 0.6, 1.0);
            pose.scale = 1 + 0.06 * std::sin(kPi * g);
            pose.angle = -(kPi / 3) * (1 - g);
            pose.glow = 0.5;
            break;
        }
        case BotState::idle:
            pose.opacity = 0.75 + 0.15 * std::sin(1.6 * t);
            pose.glow = 0.2;
            break;
        case BotState::thinking:
            pose.glow = 0.6 + 0.15 * std::sin(2 * t);
            break;
        case BotState::working:
            pose.angle = hexTurnAngle(t);
            pose.glow = 0.75;
            break;
        case BotState::searching:
            break;
        case BotState::approval:
            pose.scale = 1 + 0.06 * std::max(0.0, std::sin(5 * t));
            pose.glow = 0.9;
            break;
        case BotState::question:
            pose.angle = 0.14 * std::sin(1.5 * t);
            pose.glow = 0.6;
            break;
        case BotState::finished:
            pose.scale = 1 + 0.14 * std::sin(kPi * std::min(since / 0.45, 1.0));
            pose.glow = 1.0;
            break;
        case BotState::error:
            pose.dx = errorShakeOffset(since);
            pose.glow = 0.8;
            break;
        case BotState::sleeping:
            pose.opacity = 0.35 + 0.12 * std::sin(0.8 * t);
            pose.glow = 0.1;
            break;
    }
    return pose;
}

Highlight highlightSpans(BotState state, double t, double since) {
    Highlight highlight;
    switch (state) {
        case BotState::greeting:
            highlight.spans[0] = {0, drawnFraction(since / 0.7)};
            break;
        case BotState::thinking: {
            const double f = frac(0.55 * t);
            highlight.spans[0] = {f, f + 0.34};
            break;
        }
        case BotState::working: {
            const double a = frac(1.1 * t);
            const double b = frac(1.1 * t + 0.5);
            highlight.spans = {TrimSpan{a, a + 0.2}, TrimSpan{b, b + 0.2}};
            highlight.count = 2;
            break;
        }
        case BotState::searching: {
            const double s = frac(0.33 + 0.3 * std::sin(2.1 * t));
            highlight.spans[0] = {s, s + 0.26};
            break;
        }
        default:
            highlight.spans[0] = {0, 1};
            break;
    }
    return highlight;
}

CenterMotion centerMotion(BotState state, double t, double since) {
    CenterMotion motion;
    switch (state) {
        case BotState::thinking:
            motion.dot = 0.13 + 0.05 * std::sin(4 * t);
            break;
        case BotState::approval:
            motion.ripple = frac(t / 1.4);
            motion.rippleOpacity = 0.5 * (1 - motion.ripple);
            break;
        case BotState::question:
            motion.fill = 0.75 + 0.25 * std::max(0.0, std::sin(4 * t));
            break;
        case BotState::finished:
            motion.check = drawnFraction(2 * since);
            motion.ring = std::min(since / 0.9, 1.0);
            break;
        default:
            break;
    }
    return motion;
}

double mascotStillFor(BotState state, double since) {
    if (since < kBlendSeconds) return 0;
    switch (state) {
        case BotState::greeting:
            return since < 0.7 ? 0 : kForever;  // the outline draws itself in 0.7 s
        case BotState::finished:
            return since < 0.9 ? 0 : kForever;  // the ring is gone at 0.9 s
        case BotState::error: {
            const double s = shakePhase(since);
            if (s < kShakeSeconds) return 0;
            const double cycle = since < kShakeFirstRepeat ? kShakeFirstRepeat : kShakeEvery;
            return cycle - s;
        }
        default:
            return 0;
    }
}

MascotTimes mascotTimes(Instant now, Instant stateChangedAt, double seed) {
    return {now - kAnimationEpoch + seed * 100, std::max(0.0, now - stateChangedAt)};
}

}  // namespace brimwick
