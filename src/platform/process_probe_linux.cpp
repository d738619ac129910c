#include <cerrno>
#include <csignal>

#include "platform/process_probe.h"

namespace brimwick {

bool SignalProcessProbe::exists(std::int32_t pid) const {
    if (pid <= 0) return true;
    if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
    // EPERM means it exists but belongs to someone else.
    return errno != ESRCH;
}

}  // namespace brimwick
