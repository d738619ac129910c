// The Claude Code login record, as read from its credentials file.
#include <cmath>
#include <string_view>

#include "core/json_input.h"
#include "fuzz_targets.h"
#include "usage/credentials.h"

namespace brimwick::fuzz {

void credentials(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = Credentials::parse(bytes);
    if (!parsed) return;
    expect(jsonNestsWithin(bytes, kMaxJsonNesting), "deep records are refused");
    expect(!parsed->accessToken.empty(), "a token is never empty");
    for (const char c : parsed->accessToken) {
        const auto u = static_cast<unsigned char>(c);
        expect(u >= 0x20 && u != 0x7f, "a token can travel in a header line");
    }
    if (parsed->expiresAt) expect(std::isfinite(*parsed->expiresAt), "an expiry is a real instant");
    expect(Credentials::parse(bytes) == parsed, "parsing is repeatable");
}

}  // namespace brimwick::fuzz

BRIMWICK_FUZZ_ENTRY(credentials)
