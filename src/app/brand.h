// The application's and its maker's names, in one place for the menu
// footer, the About dialog and the desktop entry.
#pragma once

namespace brimwick::brand {

inline constexpr const char* kAppName = "Brimwick";
inline constexpr const char* kMaker = "TAMSEL";

}  // namespace brimwick::brand
