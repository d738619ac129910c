// The Claude Code login record, as read from its credentials file.
#include <cmath>

#include "core/json_input.h"
#include "fuzz_targets.h"
#include "usage/credentials.h"

void brimwick::fuzz::credentials(std::string_view bytes) {
    const auto parsed = Credentials::parse(bytes);
    if (!parsed) return;
    expect(jsonNestsWithin(bytes, kMaxJsonNesting), "deep records are refused");
    expect(!parsed->accessToken.empty(), "a token is never empty");
    for (const unsigned char c : parsed->accessToken) {
        expect(c >= 0x20 && c != 0x7f, "a token can travel in a header line");
    }
    expect(!parsed->expiresAt || std::isfinite(*parsed->expiresAt), "an expiry is a real instant");
    expect(Credentials::parse(bytes) == parsed, "parsing is repeatable");
}

BRIMWICK_FUZZ_ENTRY(credentials)
