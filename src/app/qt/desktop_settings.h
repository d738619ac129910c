// The desktop's own settings that the desktop face follows: reduce motion for now.
#pragma once

namespace brimwick {

// Reads BRIMWICK_REDUCE_MOTION, GNOME's enable-animations (through gsettings, when installed;
// it is given one second) and KDE's kdeglobals under $XDG_CONFIG_HOME (default ~/.config).
// GUI thread; called once at start.
bool systemReduceMotion();

}  // namespace brimwick
