#include "app/tray_icon_frame.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "mascot/mascot_motion.h"

namespace brimwick {

TrayIconFrame trayIconFrameAt(std::optional<BotState> state, Instant now, Instant changedAt,
                              Instant launchedAt, bool reduceMotion) {
    if (reduceMotion) return {state, std::numeric_limits<double>::infinity(), 0, 1};
    return {state, std::max(0.0, now - changedAt), now - kAnimationEpoch,
            std::clamp((now - launchedAt) / kMenuBarIntroSeconds, 0.0, 1.0)};
}

bool trayIconMoving(std::optional<BotState> state, Instant now, Instant changedAt,
                    Instant launchedAt, bool reduceMotion) {
    if (reduceMotion) return false;
    if (now - launchedAt < kMenuBarIntroSeconds) return true;
    if (!state) return false;
    const double since = now - changedAt;
    switch (*state) {
        case BotState::thinking:
        case BotState::working:
        case BotState::searching:
        case BotState::approval:
        case BotState::question:
            return true;
        case BotState::error:
            return since < 0.6;
        case BotState::finished:
            return since < 0.5;
        case BotState::greeting:
        case BotState::idle:
        case BotState::sleeping:
            return false;
    }
    return false;
}

std::string trayIconDescription(std::optional<BotState> state) {
    if (!state) return "Brimwick";
    return "Brimwick: " + std::string(label(*state));
}

IconPose trayIconPose(const TrayIconFrame& frame) {
    IconPose pose;
    if (!frame.state) return pose;
    const double t = frame.t, since = frame.since;
    switch (*frame.state) {
        case BotState::approval:
            pose.scale = 1 + 0.06 * std::max(0.0, std::sin(5 * t));
            break;
        case BotState::question:
            pose.angle = 0.14 * std::sin(1.5 * t);
            break;
        case BotState::finished:
            pose.scale = 1 + 0.07 * std::sin(std::numbers::pi * std::min(since / 0.45, 1.0));
            break;
        case BotState::error:
            if (since < 0.55) pose.dx = 1.3 * std::sin(48 * since) * (1 - since / 0.55);
            break;
        default:
            break;
    }
    return pose;
}

IconMotion trayIconMotion(const TrayIconFrame& frame) {
    IconMotion motion;
    if (!frame.state) return motion;
    const double t = frame.t;
    switch (*frame.state) {
        case BotState::thinking:
            motion.piece = frac(0.55 * t);
            motion.dot = 1.9 * (0.85 + 0.2 * std::sin(4 * t));
            break;
        case BotState::working:
            motion.piece = frac(1.1 * t);
            motion.turn = hexTurnAngle(t);
            break;
        case BotState::searching:
            motion.piece = frac(0.33 + 0.3 * std::sin(2.1 * t));
            break;
        case BotState::approval:
            motion.fill = 0.12 + 0.18 * std::max(0.0, std::sin(5 * t));
            break;
        case BotState::question:
            motion.dot = 1.9 + 0.7 * std::max(0.0, std::sin(4 * t));
            break;
        case BotState::finished:
            motion.check = drawnFraction(frame.since / 0.45);
            break;
        case BotState::sleeping:
            motion.dot = 1.5;
            break;
        default:
            break;
    }
    return motion;
}

double trayIconFrameInterval(std::optional<BotState> state, Instant now, Instant changedAt,
                             Instant launchedAt) {
    constexpr double kEffect = 1.0 / 30, kRunning = 1.0 / 15, kSlow = 1.0 / 10;
    if (now - launchedAt < kMenuBarIntroSeconds) return kEffect;
    const double since = now - changedAt;
    if (state == BotState::error && since < 0.6) return kEffect;
    if (state == BotState::finished && since < 0.5) return kEffect;
    if (state == BotState::approval || state == BotState::question) return kSlow;
    return kRunning;
}

}  // namespace brimwick
