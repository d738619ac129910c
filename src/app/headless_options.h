// The command-line options of the headless text face.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/result.h"

namespace brimwick {

struct HeadlessOptions {
    bool help = false;
    int demo = 0;                        // demo sessions to spawn at start
    std::optional<bool> phone;           // --phone / --no-phone: switch the phone link and store it
    std::optional<bool> approveDesktop;  // --approve-desktop on|off: switch and store it
    std::optional<bool> loginItem;       // --login-item on|off: set open-at-login, then exit
};

// Parses the words after the program name; `--headless` and `--desktop` are accepted, the face
// being chosen before. Error code "usage" with a one-line message for unknown options or bad
// values.
Result<HeadlessOptions> parseHeadlessOptions(const std::vector<std::string>& args);

// The text `--help` prints.
std::string headlessUsage();

}  // namespace brimwick
