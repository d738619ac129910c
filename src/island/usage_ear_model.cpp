#include "island/usage_ear_model.h"

#include <cmath>
#include <vector>

#include "core/percent.h"

namespace brimwick {
namespace {

constexpr Rgb kNearWhite{0.93, 0.94, 0.96};
constexpr Rgb kAmber{1.0, 0.76, 0.36};
constexpr Rgb kRed{1.0, 0.45, 0.48};

}  // namespace

double fractionLeft(const UsageLimit& limit) {
    if (std::isnan(limit.used)) return 1;
    return std::max(0.0, 1 - limit.used);
}

std::optional<UsageLimit> ringLimit(const PlanUsage& usage) {
    return usage.session ? usage.session : usage.week;
}

Rgb usageTint(double left) {
    if (left > 0.25) return kNearWhite;
    if (left > 0.10) return kAmber;
    return kRed;
}

TextColor weekTextColor(double left) {
    if (left > 0.25) return {{1, 1, 1}, 0.55};
    return {usageTint(left), 1};
}

std::string weekText(const UsageLimit& week) {
    return "wk " + std::to_string(percentLeft(week.used)) + "%";
}

std::string usageAccessibilityText(const PlanUsage& usage) {
    std::vector<std::string> parts;
    if (usage.session) {
        parts.push_back("Session " + std::to_string(percentLeft(usage.session->used)) + "% left");
    }
    if (usage.week) {
        parts.push_back("week " + std::to_string(percentLeft(usage.week->used)) + "% left");
    }
    if (parts.empty()) return "Usage";
    std::string text = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) text += ", " + parts[i];
    return text;
}

RingReaction ringReaction(int before, int after, bool reduceMotion) {
    if (before == after || reduceMotion) return RingReaction::none;
    return after >= 100 ? RingReaction::ripple : RingReaction::flash;
}

}  // namespace brimwick
