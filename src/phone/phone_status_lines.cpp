#include "phone/phone_status_lines.h"

#include "phone/phone_link.h"

namespace brimwick {

std::string pairedLine(const std::string& device) {
    return "paired: " + device;
}

std::optional<std::string> phoneAppURL(const PhoneLink& link) {
    if (!link.server() || !link.address()) return std::nullopt;
    return "http://" + *link.address() + ":" + std::to_string(link.port()) + "/app";
}

std::vector<std::string> phoneStatusLines(const PhoneLink& link) {
    std::vector<std::string> lines = {"phone: " + link.status()};
    const Pairing& pairing = link.pairing();
    if (!pairing.code().empty())
        lines.push_back("Pairing code: " + Pairing::grouped(pairing.code()));
    if (auto url = link.pairingURL()) lines.push_back(*url);
    if (auto app = phoneAppURL(link)) lines.push_back("app: " + *app);
    if (pairing.justPaired()) lines.push_back(pairedLine(*pairing.justPaired()));
    return lines;
}

}  // namespace brimwick
