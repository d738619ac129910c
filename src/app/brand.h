// The application's and its maker's names and the maker's web site, in one place for the menu
// footer, the About dialog and the desktop entry.
#pragma once

namespace brimwick::brand {

inline constexpr const char* kAppName = "Brimwick";
inline constexpr const char* kMaker = "TAMSEL";
// The maker's site. A reserved example domain until the real site exists.
inline constexpr const char* kSite = "https://tamsel.example/";
inline constexpr const char* kSiteHost = "tamsel.example";

}  // namespace brimwick::brand
