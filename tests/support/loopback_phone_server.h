// A phone server as the phone link's factory makes it, but on 127.0.0.1 and the test's clock, so
// test traffic never leaves loopback. `port` 0 takes a free one.
#pragma once
#include "phone/phone_server.h"

namespace brimwick::testing {
inline std::shared_ptr<PhoneServer> makeLoopbackPhoneServer(
    const Clock& clock, std::string host, std::set<std::string> tokens, std::string code,
    PhoneServer::Callbacks callbacks, std::uint16_t port = 0, double longPollHold = 25.0) {
    PhoneServer::Options options;
    options.port = port;
    options.address = "127.0.0.1";
    options.longPollHold = longPollHold;
    return PhoneServer::create(std::move(host), std::move(tokens), std::move(code),
                               std::move(callbacks), clock, options);
}
}  // namespace brimwick::testing
