// SHA-256 digests and base64 text, for content hashes such as those a Content-Security-Policy
// names. Pure functions; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brimwick {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest sha256(std::string_view bytes);

// Standard base64 with "=" padding, no line breaks.
std::string base64(std::string_view bytes);
std::string base64(const Sha256Digest& digest);

}  // namespace brimwick
