#include "core/clock.h"

#include <chrono>

namespace brimwick {

Instant SystemClock::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace brimwick
