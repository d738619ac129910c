// Secure random bytes from the operating system, for secrets: pairing codes and phone tokens.
#pragma once

#include <cstddef>

namespace brimwick {

// Fills `size` bytes from the kernel's secure source, waiting for it to be seeded if need be.
// False when the source keeps failing (it is then left to the caller to give up cleanly);
// never spins. Any thread.
bool secureRandomBytes(void* out, std::size_t size);

}  // namespace brimwick
