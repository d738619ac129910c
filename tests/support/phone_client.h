// A phone for tests that run the whole executable: a free loopback port to give it, one request
// at a time over loopback, and the hook's output once the phone allowed a permission request.
#pragma once

#include <nlohmann/json.hpp>

namespace brimwick::testing {
std::uint16_t freeLoopbackPort();  // nothing on 127.0.0.1 holds it right now

struct PhoneAnswer {
    std::string status;   // "200 OK"; empty when no answer came
    nlohmann::json body;  // null when there was none or it was not JSON
};

// One request to 127.0.0.1:port, with a bearer token when given; waits up to 30 s (long polls).
PhoneAnswer phoneRequest(std::uint16_t port, const std::string& method, const std::string& target,
                         const std::string& token = {}, const std::string& body = {});
// The phone answers a permission request: "allow", "deny" or "terminal".
inline PhoneAnswer phoneDecides(std::uint16_t port, const std::string& token,
                                const nlohmann::json& id, const std::string& decision) {
    const nlohmann::json body = {{"id", id}, {"decision", decision}};
    return phoneRequest(port, "POST", "/decide", token, body.dump());
}
inline nlohmann::json allowedByPhoneOutput() {
    return {{"hookSpecificOutput",
             {{"hookEventName", "PermissionRequest"}, {"decision", {{"behavior", "allow"}}}}}};
}
}  // namespace brimwick::testing
