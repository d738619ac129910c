// eventually: waits in real time for another thread or process (a server thread, a daemon, the
// X server) to show something. Never for a timer of ours: those run on virtual time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace brimwick::testing {

// Checks `done` every `pollSeconds` until it holds (true) or `seconds` have passed (false).
inline bool eventually(const std::function<bool()>& done, double seconds = 10.0,
                       double pollSeconds = 0.02) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
    }
    return true;
}

}  // namespace brimwick::testing
