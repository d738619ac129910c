#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/window_list.h"
#include "support/x_test_client.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

using testing::XTestClient;
using testing::XvfbDisplay;

std::string hostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

TEST(X11WindowListTest, WithoutADisplayThereAreNoWindowsAndNothingToActivate) {
    X11WindowList unreachable(":987");
    EXPECT_TRUE(unreachable.windows().empty());
    EXPECT_FALSE(unreachable.activate(0x200001));

    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::unsetenv("DISPLAY");
    X11WindowList fromEnvironment;
    EXPECT_TRUE(fromEnvironment.windows().empty());
    EXPECT_FALSE(fromEnvironment.activate(0x200001));
    if (saved) ::setenv("DISPLAY", previous.c_str(), 1);
}

class X11WindowListOnXvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xvfb_ = std::make_unique<XvfbDisplay>();
        if (!xvfb_->available()) GTEST_SKIP() << "No virtual X server: " << xvfb_->problem();
        client_ = std::make_unique<XTestClient>(xvfb_->name());
        ASSERT_TRUE(client_->connected());
        list_ = std::make_unique<X11WindowList>(xvfb_->name());
    }
    void TearDown() override {
        list_.reset();
        client_.reset();
        xvfb_.reset();
    }

    XTestClient::WindowSpec ours(const std::string& windowClass) {
        return {static_cast<std::uint32_t>(::getpid()), "brimwick-test", windowClass, hostName()};
    }

    std::unique_ptr<XvfbDisplay> xvfb_;
    std::unique_ptr<XTestClient> client_;
    std::unique_ptr<X11WindowList> list_;
};

TEST_F(X11WindowListOnXvfbTest, WithoutAWindowManagerListsMappedTopLevelWindowsWithAnOwner) {
    const auto alpha = client_->createWindow(ours("Alpha"));
    auto qualified = ours("");
    qualified.machine = hostName() + ".example.org";  // same machine, fully qualified
    const auto unnamed = client_->createWindow(qualified);
    auto remote = ours("Remote");
    remote.machine = "elsewhere.invalid";  // its process id means nothing here
    client_->createWindow(remote);
    XTestClient::WindowSpec noOwner;
    noOwner.windowClass = "NoOwner";
    client_->createWindow(noOwner);
    auto hidden = ours("Hidden");
    hidden.mapped = false;
    client_->createWindow(hidden);
    auto popup = ours("Popup");
    popup.overrideRedirect = true;
    client_->createWindow(popup);

    const std::int32_t pid = ::getpid();
    EXPECT_EQ(list_->windows(),
              (std::vector<TopLevelWindow>{{alpha, pid, "Alpha"}, {unnamed, pid, ""}}));
}

TEST_F(X11WindowListOnXvfbTest, WithoutAWindowManagerActivationRaisesAndFocuses) {
    const auto below = client_->createWindow(ours("Below"));
    const auto above = client_->createWindow(ours("Above"));
    ASSERT_EQ(client_->stackingOrder().back(), above);

    ASSERT_TRUE(list_->activate(below));
    EXPECT_EQ(client_->stackingOrder().back(), below);
    EXPECT_EQ(client_->focus(), below);

    EXPECT_FALSE(list_->activate(0x7fffff)) << "a window that doesn't exist";
    // The failed request must not have spoiled the connection for the next one.
    EXPECT_TRUE(list_->activate(above));
    EXPECT_EQ(client_->stackingOrder().back(), above);
}

TEST_F(X11WindowListOnXvfbTest, FollowsTheWindowManagersListsAndAsksItToActivate) {
    // Stand in for an EWMH window manager: the check window, the client lists, and the
    // redirect that makes us the receiver of activation requests.
    const auto first = client_->createWindow(ours("First"));
    const auto second = client_->createWindow(ours("Second"));
    client_->createWindow(ours("Unlisted"));
    XTestClient::WindowSpec hiddenCheck;
    hiddenCheck.mapped = false;
    const auto check = client_->createWindow(hiddenCheck);
    client_->setWindowProperty(client_->root(), "_NET_SUPPORTING_WM_CHECK", check);
    client_->setWindowProperty(check, "_NET_SUPPORTING_WM_CHECK", check);
    client_->setWindowList("_NET_CLIENT_LIST", {first, second});
    const std::int32_t pid = ::getpid();
    EXPECT_EQ(list_->windows(),
              (std::vector<TopLevelWindow>{{first, pid, "First"}, {second, pid, "Second"}}));

    // The stacking list, when kept, gives the order on screen.
    client_->setWindowList("_NET_CLIENT_LIST_STACKING", {second, first});
    EXPECT_EQ(list_->windows(),
              (std::vector<TopLevelWindow>{{second, pid, "Second"}, {first, pid, "First"}}));

    client_->selectRootEvents(XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                              XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    const auto stacking = client_->stackingOrder();
    ASSERT_TRUE(list_->activate(second));
    const xcb_atom_t activeWindow = client_->atom("_NET_ACTIVE_WINDOW");
    const bool asked = client_->waitForEvent([&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        return message.type == activeWindow && message.window == second &&
               message.data.data32[0] == 2;  // from a pager: the user asked for it
    });
    EXPECT_TRUE(asked);
    // The window manager does the raising; nothing was restacked behind its back.
    EXPECT_EQ(client_->stackingOrder(), stacking);
}

}  // namespace
}  // namespace brimwick
