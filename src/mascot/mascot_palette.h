// Mascot palette: the colour of each display state and the blend between two of them.
#pragma once

#include "sessions/bot_state.h"

namespace brimwick {

// An sRGB colour, each component from 0 to 1.
struct Rgb {
    double red = 0;
    double green = 0;
    double blue = 0;

    bool operator==(const Rgb&) const = default;
};

// The state's own colour.
Rgb paletteColor(BotState state);

// `from` + (`to` − `from`) × k, component by component; k is clamped to 0 … 1.
Rgb mix(const Rgb& from, const Rgb& to, double k);

// The mascot's tint `since` seconds after a change from `previous` to `state`: the colour
// slides from the old state's to the new one's over 0.35 s, then stays.
Rgb blendedTint(BotState previous, BotState state, double since);

}  // namespace brimwick
