// Network address: the machine's IPv4 address on its Ethernet or Wi-Fi link, the one a phone on
// the same network can reach and the pairing QR code carries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwick {

// One IPv4 address of one interface, already in numeric text ("192.168.1.20").
struct InterfaceAddress {
    std::string interface;
    std::string address;

    bool operator==(const InterfaceAddress&) const = default;
};

// Ethernet and Wi-Fi interfaces by their kernel names: "en*", "eth*" and "wl*". Loopback,
// bridges, tunnels, VPNs and container links ("lo", "br-*", "docker0", "veth*", "tun0", "wg0",
// "virbr0") never count.
bool isNetworkLinkInterface(std::string_view name);

// Picks the address to show: among the Ethernet and Wi-Fi entries, in list order, the first one
// on `defaultRouteInterface` wins at once; otherwise the first such entry; none when there is no
// such entry. Pure, so the rule can be checked without the machine's interfaces.
std::optional<std::string> chooseLocalIPv4(const std::vector<InterfaceAddress>& addresses,
                                           const std::optional<std::string>& defaultRouteInterface);

// The interface of the IPv4 default route (destination and mask 0, route up) in the text of
// /proc/net/route; with several, the one with the lowest metric, the first among equals.
std::optional<std::string> defaultRouteInterface(std::string_view procNetRoute);

// The machine's IPv4 address for the pairing URL, or none (no suitable interface, or the
// interface list can't be read). Reads getifaddrs and /proc/net/route on each call; any thread.
// The address is for showing to the user: nothing here connects to it.
std::optional<std::string> localIPv4();

}  // namespace brimwick
