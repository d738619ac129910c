#include "phone/pair_content.h"

#include "phone/phone_link.h"
#include "phone/qr_code.h"

namespace brimwick {

namespace pair_text {

std::string browserLine(const std::string& address, unsigned port) {
    return "Or open http://" + address + ":" + std::to_string(port) +
           "/app in your phone's browser";
}

std::string connected(const std::string& device) {
    return device + kConnectedSuffix;
}

}  // namespace pair_text

PairContent PairContent::of(const PhoneLink& link) {
    PairContent content;
    const Pairing& pairing = link.pairing();
    content.pairedDevice = pairing.justPaired();
    content.code = pairing.code();
    content.newCodeEnabled = link.enabled();
    content.status = link.status();

    const auto url = link.pairingURL();
    if (url && qr_code::matrix(*url)) {
        content.block = Block::qrCode;
        content.pairingURL = *url;
        content.codeDigits = Pairing::grouped(pairing.code());
        if (const auto& address = link.address()) {
            content.addressLine = *address + ":" + std::to_string(link.port());
            content.browserLine = pair_text::browserLine(*address, link.port());
        }
    } else if (link.enabled()) {
        content.block = Block::noAddress;
        content.placeholder = pair_text::kNoAddress;
    } else {
        content.block = Block::linkOff;
        content.placeholder = pair_text::kLinkOff;
    }
    return content;
}

}  // namespace brimwick
