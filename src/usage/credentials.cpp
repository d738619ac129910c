#include "usage/credentials.h"

#include <algorithm>

#include "core/json_input.h"

namespace brimwick {

std::optional<Credentials> Credentials::parse(std::string_view bytes) {
    const auto document = parseJsonInput(bytes);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    const auto oauth = document.find("claudeAiOauth");
    if (oauth == document.end() || !oauth->is_object()) return std::nullopt;
    const auto token = oauth->find("accessToken");
    if (token == oauth->end() || !token->is_string()) return std::nullopt;

    Credentials credentials;
    credentials.accessToken = token->get<std::string>();
    if (credentials.accessToken.empty()) return std::nullopt;
    // The token goes into a header line; a control character there would break or forge it.
    if (std::any_of(credentials.accessToken.begin(), credentials.accessToken.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        return std::nullopt;
    }
    const auto expiry = oauth->find("expiresAt");
    if (expiry != oauth->end() && expiry->is_number()) {
        credentials.expiresAt = expiry->get<double>() / 1000.0;
    }
    return credentials;
}

}  // namespace brimwick
