#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdlib>
#include <limits>

#include "core/atomic_file.h"
#include "platform/network_address.h"

namespace brimwick {
namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        const auto start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        auto end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = line.size();
        out.push_back(line.substr(start, end - start));
        at = end;
    }
    return out;
}

std::optional<unsigned long> hexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(copy.c_str(), &end, 16);
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return value;
}

}  // namespace

bool isNetworkLinkInterface(std::string_view name) {
    return name.starts_with("en") || name.starts_with("eth") || name.starts_with("wl");
}

std::optional<std::string> chooseLocalIPv4(
    const std::vector<InterfaceAddress>& addresses,
    const std::optional<std::string>& defaultRouteInterface) {
    std::optional<std::string> first;
    for (const auto& entry : addresses) {
        if (!isNetworkLinkInterface(entry.interface) || entry.address.empty()) continue;
        // The default-route link plays the part of the primary port: it wins at once.
        if (defaultRouteInterface && entry.interface == *defaultRouteInterface)
            return entry.address;
        if (!first) first = entry.address;
    }
    return first;
}

std::optional<std::string> defaultRouteInterface(std::string_view procNetRoute) {
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT.
    constexpr unsigned long kRouteUp = 0x1;
    std::optional<std::string> best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    bool header = true;
    while (!procNetRoute.empty()) {
        auto newline = procNetRoute.find('\n');
        const auto line = procNetRoute.substr(0, newline);
        procNetRoute.remove_prefix(newline == std::string_view::npos ? procNetRoute.size()
                                                                     : newline + 1);
        if (header) {
            header = false;
            continue;
        }
        const auto columns = fields(line);
        if (columns.size() < 8) continue;
        const auto destination = hexNumber(columns[1]);
        const auto flags = hexNumber(columns[3]);
        const auto mask = hexNumber(columns[7]);
        if (!destination || !flags || !mask || *destination != 0 || *mask != 0) continue;
        if ((*flags & kRouteUp) == 0) continue;
        const std::string metricText(columns[6]);
        char* end = nullptr;
        const unsigned long metric = std::strtoul(metricText.c_str(), &end, 10);
        if (end == metricText.c_str() || *end != '\0') continue;
        if (!best || metric < bestMetric) {
            best = std::string(columns[0]);
            bestMetric = metric;
        }
    }
    return best;
}

std::optional<std::string> localIPv4() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::vector<InterfaceAddress> addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_name) continue;
        // A loopback or switched-off link can't be reached from a phone, whatever its name.
        if ((entry->ifa_flags & IFF_LOOPBACK) || !(entry->ifa_flags & IFF_UP)) continue;
        char host[1025];
        if (::getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), host, sizeof host, nullptr, 0,
                          NI_NUMERICHOST) != 0) {
            continue;
        }
        addresses.push_back({entry->ifa_name, host});
    }
    ::freeifaddrs(list);

    std::optional<std::string> routeInterface;
    if (auto routes = readFile("/proc/net/route"); routes.ok()) {
        routeInterface = defaultRouteInterface(*routes);
    }
    return chooseLocalIPv4(addresses, routeInterface);
}

}  // namespace brimwick
