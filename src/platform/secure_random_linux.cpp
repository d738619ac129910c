#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "platform/secure_random.h"

namespace brimwick {

bool secureRandomBytes(void* out, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t filled = 0;
    // An interrupted or short read is tried again; an error is tried a few times, not forever.
    for (int failures = 0; filled < size && failures < 8;) {
        const ssize_t n = ::getrandom(bytes + filled, size - filled, 0);
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            ++failures;
        }
    }
    return filled == size;
}

}  // namespace brimwick
