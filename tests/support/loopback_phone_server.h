// A phone server as the phone link's factory makes it, but on 127.0.0.1 and the test's clock, so
// test traffic never leaves loopback.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "core/clock.h"
#include "phone/phone_server.h"

namespace brimwick::testing {

// `port` 0 takes a free one.
std::shared_ptr<PhoneServer> makeLoopbackPhoneServer(const Clock& clock, std::string host,
                                                     std::set<std::string> tokens, std::string code,
                                                     PhoneServer::Callbacks callbacks,
                                                     std::uint16_t port = 0,
                                                     double longPollHold = 25.0);

}  // namespace brimwick::testing
