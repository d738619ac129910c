// Phone stand-in helpers for tests that run the whole executable: a free loopback port to give
// it, one phone request at a time over loopback, and the phone's answer to a permission request.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace brimwick::testing {

// A TCP port nothing on 127.0.0.1 holds right now (the kernel's pick).
std::uint16_t freeLoopbackPort();

struct PhoneAnswer {
    std::string status;   // "200 OK"; empty when no answer came
    nlohmann::json body;  // null when there was none or it was not JSON
};

// One request to 127.0.0.1:port, with a bearer token when given; waits up to 30 s (long polls).
PhoneAnswer phoneRequest(std::uint16_t port, const std::string& method, const std::string& target,
                         const std::string& token = {}, const std::string& body = {});

// The phone answering a permission request: `decision` is "allow", "deny" or "terminal".
PhoneAnswer phoneDecides(std::uint16_t port, const std::string& token, const nlohmann::json& id,
                         const std::string& decision);

// What the PermissionRequest hook command prints once the phone allowed the request.
nlohmann::json allowedByPhoneOutput();

}  // namespace brimwick::testing
