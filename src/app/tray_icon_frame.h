// TrayIconFrame: what the menu-bar icon shows at one instant, and whether it is still moving.
// Pure values and arithmetic; the drawing lives with the tray code.
#pragma once

#include <optional>
#include <string>

#include "core/clock.h"
#include "sessions/bot_state.h"

namespace brimwick {

// The launch intro: the outline draws itself over this many seconds.
inline constexpr double kMenuBarIntroSeconds = 0.6;

struct TrayIconFrame {
    std::optional<BotState> state;  // none: no sessions
    double since = 0;               // seconds since the state changed
    double t = 0;                   // phase of the continuous animations, in seconds
    double intro = 1;               // progress of the launch intro, 0 … 1

    bool operator==(const TrayIconFrame&) const = default;
};

// The frame at `now`. With `reduceMotion` it is the still picture of the state's final look
// (since = +∞, t = 0, intro = 1). Instants in the future (a clock stepped back) count as now.
TrayIconFrame trayIconFrameAt(std::optional<BotState> state, Instant now, Instant changedAt,
                              Instant launchedAt, bool reduceMotion);

// Whether a frame after `now` would differ from the one at `now`.
bool trayIconMoving(std::optional<BotState> state, Instant now, Instant changedAt,
                    Instant launchedAt, bool reduceMotion);

// "Brimwick", or "Brimwick: " and the state's label.
std::string trayIconDescription(std::optional<BotState> state);

// How the icon's hexagon is placed: dx in points, angle in radians, uniform scale.
struct IconPose {
    double dx = 0;
    double angle = 0;
    double scale = 1;

    bool operator==(const IconPose&) const = default;
};

IconPose trayIconPose(const TrayIconFrame& frame);

// What moves on the icon besides its pose, in points and alphas.
struct IconMotion {
    double piece = 0;    // start of the running highlight (working: of the first of its two)
    double dot = 1.9;    // radius of the centre dot
    double turn = 0;     // working: angle of the small centre hexagon, radians
    double fill = 0.12;  // approval: alpha of the interior
    double check = 1;    // finished: drawn fraction of the check mark

    bool operator==(const IconMotion&) const = default;
};

IconMotion trayIconMotion(const TrayIconFrame& frame);

// Seconds between frames while the icon moves: 1/30 for the short effects (the intro, the check
// drawing itself, the error shake), whose fast motion would judder at a lower rate; 1/15 for
// the running highlights of thinking, working and searching (working's, the fastest, then steps
// 3 points, about a third of its length); 1/10 for the slow pulse of approval and tilt of
// question, which move less than a quarter of a point a frame even then.
double trayIconFrameInterval(std::optional<BotState> state, Instant now, Instant changedAt,
                             Instant launchedAt);

}  // namespace brimwick
