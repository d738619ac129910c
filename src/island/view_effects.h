// View effects of the island: the poof that removes a mascot, the flash and ripple of the usage
// ring, and the pressed look of its buttons, as plain numbers the painters apply.
#pragma once

#include "island/animated_value.h"

namespace brimwick {

// What an effect does to the content it wraps: scale about the content's centre, opacity, and a
// blur radius in points.
struct Effect {
    double scale = 1;
    double opacity = 1;
    double blur = 0;

    bool operator==(const Effect&) const = default;
};

// A removed mascot swells, blurs and fades out as `progress` runs from 0 to 1.
struct PoofModifier {
    double progress = 0;
    Effect effect() const;
};

// Driven by an animated counter: each step from n to n + 1 runs the effect once, and at whole
// counts nothing shows.
// The glow over the usage arc rises to opacity 0.9 and falls back.
struct Flash {
    double count = 0;
    Effect effect() const;
};
// A ring grows to 1.4 times its size while fading out from opacity 0.8.
struct Ripple {
    double count = 0;
    Effect effect() const;
};

// The pressed look of a button: scale 0.9, or with reduce motion no scaling and opacity 0.7;
// the change runs on a spring (response 0.22 s, damping 0.6). Main thread.
class PressableStyle {
  public:
    static constexpr Spring kSpring{0.22, 0.6};

    explicit PressableStyle(bool reduceMotion = false) : reduceMotion_(reduceMotion) {}

    void setPressed(bool pressed, Instant now);
    void setReduceMotion(bool on) { reduceMotion_ = on; }
    bool pressed() const { return pressed_.target() > 0.5; }
    Effect effect(Instant now) const;
    bool isMoving(Instant now) const { return pressed_.isMoving(now); }

  private:
    bool reduceMotion_;
    AnimatedValue pressed_{0, 0.001};  // 0 released … 1 pressed
};

}  // namespace brimwick
