#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/service_advertiser_avahi.h"
#include "support/child_process.h"
#include "support/eventually.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::eventually;
using testing::runShell;

// Every Avahi client of this test process talks to one private system bus at a fixed path, so
// no test ever reaches the machine's real bus or daemon. The path is set before any client
// exists, because the D-Bus library may remember the first address it reads.
const fs::path& scratch() {
    struct Scratch {
        fs::path dir;
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    };
    static const Scratch scratch = [] {
        fs::path dir = fs::temp_directory_path() / ("brimwick-avahi-" + std::to_string(getpid()));
        fs::create_directories(dir);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir / "bus").string()).c_str(), 1);
        return Scratch{dir};
    }();
    return scratch.dir;
}

bool executable(const char* path) {
    return ::access(path, X_OK) == 0;
}

// avahi-daemon multicasts on every interface it sees, so it only ever runs inside a network
// namespace of its own whose only link is loopback, with its own system bus and a private /run.
// A new PID namespace makes sure the bus and the daemon die with the unshare process.
class PrivateAvahi {
  public:
    static std::string unavailableReason() {
        for (const char* tool : {"/usr/bin/unshare", "/usr/sbin/ip", "/usr/bin/dbus-daemon",
                                 "/usr/sbin/avahi-daemon", "/usr/bin/avahi-browse"}) {
            if (!executable(tool)) return std::string(tool) + " is not installed";
        }
        if (runShell("/usr/bin/unshare -n -m -p --fork true", "").status != 0) {
            return "no privilege to create network, mount and PID namespaces";
        }
        return {};
    }

    PrivateAvahi() {
        const fs::path dir = scratch();
        fs::remove(dir / "bus");
        std::ofstream(dir / "bus.conf") << R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=)" << (dir / "bus").string()
                                        << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";
        std::ofstream(dir / "avahi.conf") << "[server]\n"
                                             "use-ipv4=yes\n"
                                             "use-ipv6=no\n"
                                             "allow-interfaces=lo\n"
                                             "enable-dbus=yes\n"
                                             "[wide-area]\n"
                                             "enable-wide-area=no\n"
                                             "[publish]\n"
                                             "publish-hinfo=no\n"
                                             "publish-workstation=no\n";
        const std::string script =
            "set -e\n"
            "ip link set lo up\n"
            "mount -t tmpfs tmpfs /run\n"
            "mkdir -p /run/avahi-daemon\n"
            "dbus-daemon --config-file='" +
            (dir / "bus.conf").string() +
            "' --nofork --nopidfile &\n"
            "for i in $(seq 100); do [ -S '" +
            (dir / "bus").string() +
            "' ] && break; sleep 0.05; done\n"
            "exec avahi-daemon -f '" +
            (dir / "avahi.conf").string() +
            "' --no-drop-root --no-chroot --no-rlimits --no-proc-title\n";
        child_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/unshare", "-n", "-m", "-p", "--fork", "--kill-child",
                                     "--mount-proc", "/bin/sh", "-c", script});
        ready_ = child_
                     ->waitForLine(
                         [](const std::string& line) {
                             return line.find("Server startup complete") != std::string::npos;
                         },
                         20.0)
                     .has_value();
    }

    ~PrivateAvahi() {
        child_.reset();  // SIGKILL to unshare takes the whole PID namespace with it
        fs::remove(scratch() / "bus");
    }

    bool ready() const { return ready_; }
    std::string log() const {
        std::string all;
        for (const auto& line : child_->lines()) all += line + "\n";
        return all;
    }

    // One pass of avahi-browse over the private bus: resolved "=" lines in parsable form.
    static std::string browse(const std::string& type) {
        return runShell("avahi-browse -r -t -p " + type + " 2>/dev/null", "").output;
    }

  private:
    std::unique_ptr<ChildProcess> child_;
    bool ready_ = false;
};

TEST(ServiceAdvertiserTest, WithoutADaemonNothingIsAdvertisedAndNothingFails) {
    fs::remove(scratch() / "bus");  // the private bus address leads nowhere
    AvahiServiceAdvertiser advertiser;
    advertiser.advertise("Nobody's Laptop", "_brimwick._tcp", 47822, {{"v", "1"}});
    advertiser.advertise("Nobody's Laptop", "_brimwick._tcp", 47823, {{"v", "1"}});
    EXPECT_FALSE(advertiser.established());
    advertiser.withdraw();
    advertiser.withdraw();
    EXPECT_FALSE(advertiser.established());
}

TEST(ServiceAdvertiserTest, WithdrawingBeforeAdvertisingIsHarmless) {
    fs::remove(scratch() / "bus");
    AvahiServiceAdvertiser advertiser;
    advertiser.withdraw();
    EXPECT_FALSE(advertiser.established());
}

class ServiceAdvertiserDaemonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto reason = PrivateAvahi::unavailableReason();
        if (!reason.empty()) GTEST_SKIP() << "DNS-SD test skipped: " << reason;
        avahi_ = std::make_unique<PrivateAvahi>();
        if (!avahi_->ready()) {
            GTEST_SKIP() << "DNS-SD test skipped: avahi-daemon did not start in its private "
                            "namespace:\n"
                         << avahi_->log();
        }
    }
    void TearDown() override { avahi_.reset(); }

    std::unique_ptr<PrivateAvahi> avahi_;
};

TEST_F(ServiceAdvertiserDaemonTest, BrowsersSeeTheServiceWithItsTxtRecord) {
    AvahiServiceAdvertiser advertiser;
    advertiser.advertise("Ada's Laptop", "_brimwick._tcp", 47822, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return advertiser.established(); }));

    std::string listing;
    ASSERT_TRUE(eventually([&] {
        listing = PrivateAvahi::browse("_brimwick._tcp");
        return listing.find("\n=") != std::string::npos || listing.starts_with("=");
    })) << listing;
    // Parsable form: =;iface;proto;name;type;domain;host;address;port;txt, with the name's
    // punctuation and spaces escaped as \DDD.
    EXPECT_NE(listing.find(";Ada\\039s\\032Laptop;_brimwick._tcp;local;"), std::string::npos)
        << listing;
    EXPECT_NE(listing.find(";47822;\"v=1\""), std::string::npos) << listing;

    advertiser.withdraw();
    EXPECT_FALSE(advertiser.established());
    EXPECT_TRUE(eventually([&] {
        return PrivateAvahi::browse("_brimwick._tcp").find("Laptop") == std::string::npos;
    }));
}

TEST_F(ServiceAdvertiserDaemonTest, ASecondServiceOfTheSameNameTakesAnAlternativeName) {
    AvahiServiceAdvertiser first;
    AvahiServiceAdvertiser second;
    first.advertise("Workbench", "_brimwick._tcp", 47822, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return first.established(); }));
    second.advertise("Workbench", "_brimwick._tcp", 47830, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return second.established(); }));

    EXPECT_EQ(first.currentName(), "Workbench");
    EXPECT_EQ(second.currentName(), "Workbench #2");
    std::string listing;
    EXPECT_TRUE(eventually([&] {
        listing = PrivateAvahi::browse("_brimwick._tcp");
        return listing.find(";Workbench\\032\\0352;") != std::string::npos &&
               listing.find(";Workbench;") != std::string::npos;
    })) << listing;
}

TEST_F(ServiceAdvertiserDaemonTest, AdvertisingAgainMovesTheServiceToTheNewPort) {
    AvahiServiceAdvertiser advertiser;
    advertiser.advertise("Mover", "_brimwick._tcp", 47822, {{"v", "1"}});
    ASSERT_TRUE(eventually([&] { return advertiser.established(); }));
    advertiser.advertise("Mover", "_brimwick._tcp", 47900, {{"v", "1"}});
    std::string listing;
    EXPECT_TRUE(eventually([&] {
        listing = PrivateAvahi::browse("_brimwick._tcp");
        return listing.find(";47900;\"v=1\"") != std::string::npos &&
               listing.find(";47822;") == std::string::npos;
    })) << listing;
}

}  // namespace
}  // namespace brimwick
