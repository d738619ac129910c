// RecentProjects: the folders Claude Code sessions worked in lately, newest first, kept in the
// preferences, and the only folders a phone may start a new session in.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "core/preferences.h"
#include "core/result.h"
#include "core/signal.h"

namespace brimwick {

// Main thread only. The preferences must outlive it.
class RecentProjects {
  public:
    // Opens a terminal running Claude Code in `folder` with `prompt`.
    using Launch =
        std::function<Result<void>(const std::string& folder, const std::string& prompt)>;
    using IsDirectory = std::function<bool(const std::string& path)>;

    static constexpr const char* kKey = "phoneProjects";
    static constexpr std::size_t kMax = 8;
    static constexpr std::size_t kMaxPathBytes = 4096;
    static constexpr const char* kUnknownFolder = "Brimwick doesn't know that folder any more.";

    // Reads the stored list, dropping entries no session could have noted.
    RecentProjects(Preferences& preferences, Launch launch, IsDirectory isDirectory);

    const std::vector<std::string>& list() const { return list_; }

    // Moves (or adds) a session's working folder to the front; at most 8 are kept.
    void note(const std::optional<std::string>& folder);
    // Starts a session in a known folder that still exists.
    Outcome start(const std::string& folder, const std::string& prompt);

    Signal<> changed;

  private:
    Preferences& preferences_;
    Launch launch_;
    IsDirectory isDirectory_;
    std::vector<std::string> list_;
};

}  // namespace brimwick
