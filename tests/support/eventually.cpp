#include "support/eventually.h"

#include <chrono>
#include <thread>

namespace brimwick::testing {

bool eventually(const std::function<bool()>& done, double seconds, double pollSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
    }
}

}  // namespace brimwick::testing
