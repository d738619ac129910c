// ServiceAdvertiser: announces a network service over DNS-SD (Bonjour/mDNS), so phones on the
// local network can find the phone server without typing an address.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace brimwick {

class ServiceAdvertiser {
  public:
    using TxtRecord = std::map<std::string, std::string>;

    virtual ~ServiceAdvertiser() = default;

    // Advertises `name` as a service of `type` (e.g. "_brimwick._tcp") on `port` in the default
    // domain, with one TXT entry per member of `txt`. Replaces this advertiser's earlier
    // advertisement. Never fails outwardly: without a DNS-SD daemon nothing is advertised and
    // nothing else changes. On a name clash the service takes the next free alternative name.
    // Any thread; returns without waiting for the network.
    virtual void advertise(const std::string& name, const std::string& type, std::uint16_t port,
                           const TxtRecord& txt) = 0;

    // Ends the advertisement, if any. Any thread.
    virtual void withdraw() = 0;
};

}  // namespace brimwick
