// Outcome: what an action someone asked for came to, and the message they are shown about it.
#pragma once

#include <string>

namespace brimwick {

struct Outcome {
    bool ok = false;
    std::string message;

    bool operator==(const Outcome&) const = default;
};

}  // namespace brimwick
