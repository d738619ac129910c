#include "app/desktop_module.h"

#include <dlfcn.h>

namespace brimwick {

namespace fs = std::filesystem;

std::vector<fs::path> desktopModuleCandidates(const fs::path& executable,
                                              const fs::path& installedDir) {
    const fs::path folder = executable.parent_path();
    std::vector<fs::path> candidates{folder / kDesktopModuleName};
    const fs::path installed =
        (installedDir.is_absolute() ? installedDir : folder / installedDir) / kDesktopModuleName;
    if (installed.lexically_normal() != candidates.front().lexically_normal()) {
        candidates.push_back(installed.lexically_normal());
    }
    return candidates;
}

Result<DesktopEntry> loadDesktopModule(const std::vector<fs::path>& candidates) {
    std::string tried;
    for (const auto& path : candidates) {
        std::error_code error;
        if (!fs::exists(path, error)) {
            tried += (tried.empty() ? "" : ", ") + path.string();
            continue;
        }
        // Loaded once and never closed: Qt keeps threads and atexit work that point into it.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* reason = ::dlerror();
            return Error{"module", "Could not load " + path.string() + ": " +
                                       (reason ? reason : "unknown error")};
        }
        using Entry = int (*)(int, char**);
        auto* entry = reinterpret_cast<Entry>(::dlsym(module, "brimwick_run_desktop"));
        if (!entry) {
            return Error{"module", path.string() + " has no desktop entry"};
        }
        return DesktopEntry(entry);
    }
    return Error{"module", "The desktop module was not found (looked at " + tried + ")"};
}

}  // namespace brimwick
