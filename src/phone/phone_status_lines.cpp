#include "phone/phone_status_lines.h"

#include "phone/phone_link.h"

namespace brimwick {

std::string groupedCode(const std::string& code) {
    if (code.size() != 6) return code;
    return code.substr(0, 3) + " " + code.substr(3);
}

std::string pairedLine(const std::string& device) {
    return "paired: " + device;
}

std::optional<std::string> phoneAppURL(const PhoneLink& link) {
    if (!link.server() || !link.address()) return std::nullopt;
    return "http://" + *link.address() + ":" + std::to_string(link.port()) + "/app";
}

std::vector<std::string> phoneStatusLines(const PhoneLink& link) {
    std::vector<std::string> lines = {"phone: " + link.status()};
    if (!link.code().empty()) lines.push_back("Pairing code: " + groupedCode(link.code()));
    if (auto url = link.pairingURL()) lines.push_back(*url);
    if (auto app = phoneAppURL(link)) lines.push_back("app: " + *app);
    if (link.justPaired()) lines.push_back(pairedLine(*link.justPaired()));
    return lines;
}

}  // namespace brimwick
