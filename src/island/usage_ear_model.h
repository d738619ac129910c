// Usage ear rules: which limit the ring shows, its colours by the share left, the ear's texts
// and when a new figure flashes or ripples. The drawing lives in island/qt/usage_ear_view.
#pragma once

#include <optional>
#include <string>

#include "core/clock.h"
#include "mascot/mascot_palette.h"
#include "usage/usage_api.h"

namespace brimwick {

// max(0, 1 − used).
double fractionLeft(const UsageLimit& limit);

// The ring's limit: the five-hour window when present, else the week.
std::optional<UsageLimit> ringLimit(const PlanUsage& usage);

// The ring's tint by the fraction left L: near white above 0.25, amber above 0.10, red at or
// below 0.10.
Rgb usageTint(double left);

// The week line's colour: white at opacity 0.55 above 0.25, else the ring's amber or red.
struct TextColor {
    Rgb rgb;
    double opacity = 1;

    bool operator==(const TextColor&) const = default;
};
TextColor weekTextColor(double left);

// "wk 43%".
std::string weekText(const UsageLimit& week);

// "Session 58% left, week 43% left"; either part alone; "Usage" with neither.
std::string usageAccessibilityText(const PlanUsage& usage);

// What the ring does when its percent left changes from `before` to `after`: a ripple for a
// reset (100 % or more left), otherwise a flash; nothing when unchanged or with reduce motion.
enum class RingReaction { none, flash, ripple };
RingReaction ringReaction(int before, int after, bool reduceMotion);

}  // namespace brimwick
