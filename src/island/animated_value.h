// AnimatedValue: one number that moves to new targets along a damped spring or an ease-out
// curve, the motion behind every animated size, scale and opacity of the island.
#pragma once

#include "core/clock.h"

namespace brimwick {

// A damped spring pulling a unit mass towards its target. `response` is the period of the
// undamped swing in seconds; `dampingFraction` 1 is critical damping, below 1 it overshoots.
// Stiffness is (2π / response)², damping 4π · dampingFraction / response.
struct Spring {
    double response = 0.5;
    double dampingFraction = 0.8;

    double stiffness() const;
    double damping() const;
};

// A curve that starts fast and slows into the target over `duration` seconds (the common
// cubic Bézier with control points (0, 0) and (0.58, 1)).
struct EaseOut {
    double duration = 0.25;
};

// The ease-out curve's progress (0 … 1) after the share `p` (clamped to 0 … 1) of its duration.
double easeOutProgress(double p);

// Plain value; every query names the instant it asks about, so it runs on virtual time in tests.
// Retargeting while moving starts from the current value, and for a spring also from the
// current velocity, so motion never jumps. Not thread-safe; the island uses it on the main thread.
class AnimatedValue {
  public:
    // `resolution`: the distance from the target below which the motion counts as finished
    // (0.01 suits sizes in points, 0.001 scales and opacities).
    explicit AnimatedValue(double value = 0, double resolution = 0.001);

    double value(Instant now) const;
    double velocity(Instant now) const;
    double target() const { return target_; }

    // Jumps to `target` at once.
    void set(double target);
    // Moves from wherever the value is at `now` towards `target`. The same target again keeps
    // the motion already under way.
    void animate(double target, Instant now, Spring spring);
    void animate(double target, Instant now, EaseOut ease);

    // False once the value has settled on its target; from then on value() is the target exactly.
    bool isMoving(Instant now) const;
    // The first instant at which isMoving() is false.
    Instant restsAt() const { return restsAt_; }

  private:
    enum class Kind { still, spring, ease };

    Kind kind_ = Kind::still;
    double resolution_;
    double target_;
    Instant start_ = 0;
    double from_ = 0;      // value at start_
    double velocity_ = 0;  // velocity at start_ (springs)
    Spring spring_;
    double duration_ = 0;
    Instant restsAt_ = 0;
};

}  // namespace brimwick
