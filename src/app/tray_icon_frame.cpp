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

}  // namespace brimwick
