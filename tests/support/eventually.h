// eventually: waits in real time for another thread or process (a server thread, a daemon, the
// X server) to show something. Never for a timer of ours: those run on virtual time.
#pragma once

#include <functional>

namespace brimwick::testing {

// Checks `done` every `pollSeconds` until it holds (true) or `seconds` have passed (false).
bool eventually(const std::function<bool()>& done, double seconds = 10.0,
                double pollSeconds = 0.02);

}  // namespace brimwick::testing
