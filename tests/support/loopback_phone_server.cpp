#include "support/loopback_phone_server.h"

namespace brimwick::testing {

std::shared_ptr<PhoneServer> makeLoopbackPhoneServer(const Clock& clock, std::string host,
                                                     std::set<std::string> tokens, std::string code,
                                                     PhoneServer::Callbacks callbacks,
                                                     std::uint16_t port, double longPollHold) {
    PhoneServer::Options options;
    options.port = port;
    options.address = "127.0.0.1";
    options.longPollHold = longPollHold;
    return PhoneServer::create(std::move(host), std::move(tokens), std::move(code),
                               std::move(callbacks), clock, options);
}

}  // namespace brimwick::testing
