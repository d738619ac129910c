#include "mascot/mascot_motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

// The error shake runs on entry and again every 2.4 s from 0.8 s on; each lasts 0.55 s.
double errorShakeOffset(double since) {
    const double s = since < 0.8 ? since : std::fmod(since - 0.8, 2.4);
    if (s < 0 || s >= 0.55) return 0;
    return 0.18 * std::sin(48 * s) * (1 - s / 0.55);
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

MascotTimes mascotTimes(Instant now, Instant stateChangedAt, double seed) {
    return {now - kAnimationEpoch + seed * 100, std::max(0.0, now - stateChangedAt)};
}

}  // namespace brimwick
