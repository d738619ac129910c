#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/service_advertiser_avahi.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/scratch_folder.h"

namespace brimwick {

using testing::eventually;
using testing::runShell;

// Every Avahi client of this test process talks to one private bus at a fixed path, set before
// any client exists (the D-Bus library may remember the first address it reads), so no test
// ever reaches the machine's real bus or daemon.
static const std::filesystem::path& scratch() {
    static const testing::ScratchFolder folder("brimwick-avahi");
    static const bool set =
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS",
                 ("unix:path=" + (folder.path() / "bus").string()).c_str(), 1) == 0;
    return (void)set, folder.path();
}

// One pass of avahi-browse: resolved services in parsable form,
// =;iface;proto;name;type;domain;host;address;port;txt with the name's punctuation as \DDD.
static std::string browse() {
    return runShell("avahi-browse -r -t -p _brimwick._tcp 2>/dev/null", "").output;
}

TEST(ServiceAdvertiserTest, WithoutADaemonNothingIsAdvertisedAndNothingFails) {
    std::filesystem::remove(scratch() / "bus");  // the private bus address leads nowhere
    AvahiServiceAdvertiser advertiser;
    advertiser.withdraw();
    advertiser.advertise("Nobody's Laptop", "_brimwick._tcp", 47822, {{"v", "1"}});
    advertiser.advertise("Nobody's Laptop", "_brimwick._tcp", 47823, {{"v", "1"}});
    EXPECT_FALSE(advertiser.established());
    advertiser.withdraw();
    advertiser.withdraw();
    EXPECT_FALSE(advertiser.established());
}

// avahi-daemon multicasts on every interface it sees, so it only ever runs in a network
// namespace of its own whose only link is loopback, with its own bus and a private /run; a new
// PID namespace makes sure the bus and the daemon die with the unshare process.
TEST(ServiceAdvertiserTest, BrowsersSeeTheServiceItsTxtRecordItsMovesAndAlternativeNames) {
    for (const char* tool : {"/usr/bin/unshare", "/usr/sbin/ip", "/usr/bin/dbus-daemon",
                             "/usr/sbin/avahi-daemon", "/usr/bin/avahi-browse"}) {
        if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";
    }
    if (runShell("/usr/bin/unshare -n -m -p --fork true", "").status != 0) {
        GTEST_SKIP() << "no privilege to create network, mount and PID namespaces";
    }
    const std::string dir = scratch().string();
    std::filesystem::remove(dir + "/bus");
    std::ofstream(dir + "/avahi.conf")
        << "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\n"
           "enable-dbus=yes\n[wide-area]\nenable-wide-area=no\n"
           "[publish]\npublish-hinfo=no\npublish-workstation=no\n";
    testing::ChildProcess daemon(
        {"/usr/bin/unshare", "-n", "-m", "-p", "--fork", "--kill-child", "--mount-proc", "/bin/sh",
         "-c",
         "set -e; ip link set lo up; mount -t tmpfs tmpfs /run; mkdir -p /run/avahi-daemon\n"
         "dbus-daemon --session --address=unix:path=" +
             dir +
             "/bus --nofork --nopidfile &\n"
             "for i in $(seq 100); do [ -S " +
             dir +
             "/bus ] && break; sleep 0.05; done\n"
             "exec avahi-daemon -f " +
             dir + "/avahi.conf --no-drop-root --no-chroot --no-rlimits --no-proc-title"});
    if (!daemon.waitForLine(
            [](const std::string& line) {
                return line.find("Server startup complete") != std::string::npos;
            },
            20)) {
        GTEST_SKIP() << "avahi-daemon did not start: " << ::testing::PrintToString(daemon.lines());
    }

    AvahiServiceAdvertiser first, second;
    first.advertise("Ada's Laptop", "_brimwick._tcp", 47822, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return first.established(); }));
    std::string listing;
    EXPECT_TRUE(eventually([&] {
        listing = browse();
        return listing.find(";Ada\\039s\\032Laptop;_brimwick._tcp;local;") != std::string::npos &&
               listing.find(";47822;\"v=1\"") != std::string::npos;
    })) << listing;
    // Advertising again moves the service to the new port.
    first.advertise("Ada's Laptop", "_brimwick._tcp", 47900, {{"v", "1"}});
    EXPECT_TRUE(eventually([&] {
        listing = browse();
        return listing.find(";47900;\"v=1\"") != std::string::npos &&
               listing.find(";47822;") == std::string::npos;
    })) << listing;
    // A second service of the same name takes an alternative one.
    second.advertise("Ada's Laptop", "_brimwick._tcp", 47830, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return second.established(); }));
    EXPECT_EQ(first.currentName(), "Ada's Laptop");
    EXPECT_EQ(second.currentName(), "Ada's Laptop #2");
    EXPECT_TRUE(eventually([&] {
        return (listing = browse()).find(";Ada\\039s\\032Laptop\\032\\0352;") != std::string::npos;
    })) << listing;

    first.withdraw();
    second.withdraw();
    EXPECT_FALSE(first.established());
    EXPECT_TRUE(eventually([&] { return browse().find("Laptop") == std::string::npos; }));
}

}  // namespace brimwick
