#include "mascot/mascot_palette.h"

#include <algorithm>
#include <array>

namespace brimwick {
namespace {

// In BotState declaration order.
constexpr std::array<Rgb, 10> kPalette = {{
    {0.93, 0.94, 0.96},  // greeting
    {0.93, 0.94, 0.96},  // idle
    {0.72, 0.62, 0.98},  // thinking
    {0.48, 0.70, 1.00},  // working
    {0.60, 0.62, 0.98},  // searching
    {1.00, 0.76, 0.36},  // approval
    {0.42, 0.86, 0.92},  // question
    {0.50, 0.90, 0.68},  // finished
    {1.00, 0.45, 0.48},  // error
    {0.80, 0.82, 0.88},  // sleeping
}};

constexpr double kBlendSeconds = 0.35;

}  // namespace

Rgb paletteColor(BotState state) {
    return kPalette[static_cast<std::size_t>(state)];
}

Rgb mix(const Rgb& from, const Rgb& to, double k) {
    k = std::clamp(k, 0.0, 1.0);
    return {from.red + (to.red - from.red) * k, from.green + (to.green - from.green) * k,
            from.blue + (to.blue - from.blue) * k};
}

Rgb blendedTint(BotState previous, BotState state, double since) {
    // A negative `since` (clock stepped back) counts as the very start of the change.
    const double k = std::min(std::max(since, 0.0) / kBlendSeconds, 1.0);
    return mix(paletteColor(previous), paletteColor(state), k);
}

}  // namespace brimwick
