// PairContent: what the pairing window shows for the phone link's current state — which middle
// block, the texts, the code in two groups of three — worked out without any drawing.
#pragma once

#include <optional>
#include <string>

namespace brimwick {

class PhoneLink;

// Plain value, built on the main thread from the link.
struct PairContent {
    // The middle block of the pairing content.
    enum class Block {
        qrCode,     // the QR image with the code digits, the address and the browser link
        noAddress,  // the link is on, but the address, the code or the image is missing
        linkOff,    // the link is switched off
    };

    // The success view replaces everything while a phone has just paired.
    std::optional<std::string> pairedDevice;

    Block block = Block::linkOff;
    std::string pairingURL;                  // qrCode only: the text in the QR image
    std::string code;                        // the link's code; a new one replaces the QR image
    std::string codeDigits;                  // qrCode only: "012 345"
    std::optional<std::string> addressLine;  // qrCode with an address: "192.168.1.20:47822"
    std::optional<std::string> browserLine;  // qrCode with an address: the /app page
    std::string placeholder;                 // noAddress and linkOff: the explanation

    bool newCodeEnabled = false;  // only while the link is on
    std::string status;           // the link's one-line status, bottom right

    // Reads `link` now. The QR block needs a QR code of the pairing URL as well as the URL.
    static PairContent of(const PhoneLink& link);

    bool operator==(const PairContent&) const = default;
};

// The window's fixed texts ("Wi‑Fi" with the non-breaking hyphen U+2011).
namespace pair_text {
inline constexpr const char* kWindowTitle = "Pair a phone";
inline constexpr const char* kHeadline = "Scan with Brimwick on your phone";
inline constexpr const char* kSameNetwork =
    "Your phone must be on the same Wi\u2011Fi as this computer.";
inline constexpr const char* kNoAddress =
    "No Wi\u2011Fi or Ethernet address found. Connect this computer to a network.";
inline constexpr const char* kLinkOff =
    "Turn on Connect phone over Wi\u2011Fi in the tray menu first.";
inline constexpr const char* kNewCode = "New code";
inline constexpr const char* kConnectedSuffix = " is connected";
inline constexpr const char* kFollows =
    "It now follows your sessions and can answer permission requests.";

// "Or open http://ADDRESS:PORT/app in your phone's browser".
std::string browserLine(const std::string& address, unsigned port);
// "<device> is connected".
std::string connected(const std::string& device);
}  // namespace pair_text

}  // namespace brimwick
