// Reduce motion: whether the user asked the desktop for fewer animations, from the settings of
// GNOME, KDE or Brimwick's own environment variable.
#pragma once

#include <optional>
#include <string>

namespace brimwick {

// What the desktop says, each read by the caller; none where it says nothing.
struct MotionSettings {
    std::optional<std::string> environment;      // $BRIMWICK_REDUCE_MOTION
    std::optional<std::string> gnomeAnimations;  // `gsettings get … enable-animations` output
    std::optional<std::string> kdeGlobals;       // the text of ~/.config/kdeglobals
};

// On when BRIMWICK_REDUCE_MOTION is "1", GNOME's enable-animations is false, or KDE's
// AnimationDurationFactor (group [KDE]) is 0. Unreadable values count as not asking.
bool reduceMotionWanted(const MotionSettings& settings);

// KDE's AnimationDurationFactor from the text of kdeglobals, or none when absent or malformed.
std::optional<double> kdeAnimationDurationFactor(const std::string& kdeGlobals);

}  // namespace brimwick
