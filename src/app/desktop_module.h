// DesktopModule: finds and opens the desktop face's loadable module beside the executable, so
// processes that never draw do not load Qt.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/result.h"

namespace brimwick {

// The module's entry: the desktop face's main, taking the process's arguments.
using DesktopEntry = std::function<int(int argc, char** argv)>;

inline constexpr const char* kDesktopModuleName = "brimwick-desktop.so";

// Where the module is looked for, in order: beside the executable (a build tree), then
// `installedDir` (relative to the executable's folder unless absolute), where installation
// puts it.
std::vector<std::filesystem::path> desktopModuleCandidates(
    const std::filesystem::path& executable, const std::filesystem::path& installedDir);

// Opens the first candidate that exists and returns its entry; the module stays loaded for the
// life of the process. The error names every place tried, or what the loader said.
Result<DesktopEntry> loadDesktopModule(const std::vector<std::filesystem::path>& candidates);

}  // namespace brimwick
