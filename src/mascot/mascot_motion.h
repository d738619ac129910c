// Mascot motion: the pure timing maths behind every mascot frame (poses, highlight pieces,
// easing), shared by the island mascot and the menu-bar icon. No drawing happens here.
#pragma once

#include <array>

#include "core/clock.h"
#include "sessions/bot_state.h"

namespace brimwick {

// 1 January 2001 UTC in Unix seconds: the zero of the animation phase `t`.
inline constexpr double kAnimationEpoch = 978'307'200.0;

// x − floor(x): always in [0, 1).
double frac(double x);

// 1 − (1 − p)³ with p clamped to 0 … 1: fast first, then settling. Used for lines that draw
// themselves.
double drawnFraction(double p);

// The turn of the working hexagon at phase t: 60° more every 1.2 s, each turn taking 0.35 s with
// smooth-step easing. In radians, growing without bound.
double hexTurnAngle(double t);

// How the whole mascot is placed in one frame. dx is in multiples of the hexagon radius,
// angle in radians; opacity and glow are 0 … 1.
struct Pose {
    double dx = 0;
    double angle = 0;
    double scale = 1;
    double opacity = 1;
    double glow = 0.6;

    bool operator==(const Pose&) const = default;
};

// The pose of `state` at phase `t`, `since` seconds after the state began.
Pose makePose(BotState state, double t, double since);

// A part of the hexagon outline as fractions of its length from its start. `end` may pass 1,
// in which case the part wraps through the start (see trimPieces).
struct TrimSpan {
    double start = 0;
    double end = 1;

    bool operator==(const TrimSpan&) const = default;
};

// The highlighted parts of the outline in one frame: one span, or two for working.
struct Highlight {
    std::array<TrimSpan, 2> spans{};
    int count = 1;
};

Highlight highlightSpans(BotState state, double t, double since);

// The motion of the symbol in the middle of the hexagon in one frame.
struct CenterMotion {
    double dot = 0.16;         // radius of the centre dot in multiples of R (thinking breathes)
    double ripple = 0;         // approval: the ring spreading from the body, 0 … 1
    double rippleOpacity = 0;  // and how much of it shows, 0.5 fading to 0
    double fill = 1;           // question: opacity of the filled hexagon
    double check = 1;          // finished: drawn fraction of the check mark
    double ring = 1;           // finished: the one ring spreading from the body, 0 … 1 (1: gone)

    bool operator==(const CenterMotion&) const = default;
};

CenterMotion centerMotion(BotState state, double t, double since);

// Seconds from `since` during which the state's mascot looks the same as now (the colour blend
// of a change included): 0 while it moves, infinity once it has settled for good.
double mascotStillFor(BotState state, double since);

// The inputs of one frame computed from wall-clock instants: `since` is never negative (a
// change stamped in the future counts as just now), `t` is seconds since kAnimationEpoch plus
// seed × 100, so sessions with different seeds run out of phase.
struct MascotTimes {
    double t = 0;
    double since = 0;
};

MascotTimes mascotTimes(Instant now, Instant stateChangedAt, double seed);

}  // namespace brimwick
