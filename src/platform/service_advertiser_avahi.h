// AvahiServiceAdvertiser: DNS-SD advertisement through the Avahi daemon of the system D-Bus.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/service_advertiser.h"

namespace brimwick {

// Talks to avahi-daemon from a thread of its own (Avahi's threaded poll), started by the first
// advertise() that reaches the daemon. When the daemon can't be reached (not installed, not
// running, no system bus) the call does nothing and the next advertise() tries again; when the
// daemon goes away later the advertisement simply ends. Nothing is logged or reported.
// Thread-safe; must not be destroyed from inside its own callbacks (it has none public).
class AvahiServiceAdvertiser final : public ServiceAdvertiser {
  public:
    AvahiServiceAdvertiser();
    ~AvahiServiceAdvertiser() override;
    AvahiServiceAdvertiser(const AvahiServiceAdvertiser&) = delete;
    AvahiServiceAdvertiser& operator=(const AvahiServiceAdvertiser&) = delete;

    void advertise(const std::string& name, const std::string& type, std::uint16_t port,
                   const TxtRecord& txt) override;
    void withdraw() override;

    // For tests and diagnostics: whether the daemon has confirmed the current advertisement, and
    // the name it is (or would be) registered under after any clash.
    bool established() const;
    std::string currentName() const;

    struct Impl;

  private:
    mutable std::mutex mutex_;  // serialises callers; the poll thread uses Avahi's own lock
    std::unique_ptr<Impl> impl_;
};

}  // namespace brimwick
