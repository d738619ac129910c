#include "platform/network_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace brimwick {

TEST(NetworkAddressTest, OnlyEthernetAndWifiAddressesAndTheDefaultRoutesFirst) {
    for (const char* name : {"en0", "enp3s0", "enx00e04c680001", "eth0", "wlan0", "wlp2s0"}) {
        EXPECT_TRUE(isNetworkLinkInterface(name)) << name;
    }
    for (const char* name : {"lo", "docker0", "br-1a2b3c", "virbr0", "veth12ab", "tun0", "tap0",
                             "wg0", "ppp0", "vmnet8", "", "e", "w"}) {
        EXPECT_FALSE(isNetworkLinkInterface(name)) << name;
    }
    const std::vector<InterfaceAddress> list = {{"lo", "127.0.0.1"},
                                                {"virbr0", "192.168.122.1"},
                                                {"wlp2s0", "192.168.1.20"},
                                                {"wlp2s0", "192.168.1.21"},
                                                {"eth0", "10.0.0.5"}};
    EXPECT_EQ(chooseLocalIPv4(list, std::string("eth0")), "10.0.0.5");
    // Without a default route, or one on a VPN or bridge, the first real link in list order.
    for (const std::optional<std::string>& route :
         {std::optional<std::string>(), {"virbr0"}, {"tun0"}}) {
        EXPECT_EQ(chooseLocalIPv4(list, route), "192.168.1.20");
    }
    EXPECT_EQ(chooseLocalIPv4({}, std::nullopt), std::nullopt);
    EXPECT_EQ(chooseLocalIPv4({{"lo", "127.0.0.1"}, {"docker0", "172.17.0.1"}}, std::string("lo")),
              std::nullopt);
    EXPECT_EQ(chooseLocalIPv4({{"eth0", ""}}, std::string("eth0")), std::nullopt);
}

TEST(NetworkAddressTest, DefaultRouteFromTheKernelTable) {
    // The header alone names "Iface"; it must never be taken for an interface.
    const std::string header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    EXPECT_EQ(defaultRouteInterface(
                  header + "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
                           "wlp2s0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                           "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                           "eth0\t0000000A\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"),
              "eth0");  // the lower metric
    EXPECT_EQ(defaultRouteInterface(""), std::nullopt);
    EXPECT_EQ(defaultRouteInterface(header), std::nullopt);
    // Down, cut short, or malformed.
    EXPECT_EQ(defaultRouteInterface(header + "eth0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\n"
                                             "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t0\n"
                                             "eth1\tzz\t0100000A\t0003\t0\t0\t0\t00000000\n"
                                             "eth2\t00000000\t0100000A\t0003\t0\t0\tx\t00000000\n"),
              std::nullopt);
    // No line break after the last line still counts.
    EXPECT_EQ(defaultRouteInterface(header + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000"),
              "wlan0");
    // The machine's own address: only its form is checked; it is never dialled.
    if (const auto address = localIPv4()) {
        in_addr parsed{};
        EXPECT_EQ(inet_pton(AF_INET, address->c_str(), &parsed), 1) << *address;
        EXPECT_NE(address->rfind("127.", 0), 0u) << *address;
    }
}

}  // namespace brimwick
