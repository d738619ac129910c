#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/window_list.h"
#include "support/x_test_client.h"
#include "support/xvfb_display.h"

namespace brimwick {

using testing::XTestClient;

TEST(X11WindowListTest, WithoutADisplayThereAreNoWindowsAndNothingToActivate) {
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::unsetenv("DISPLAY");
    X11WindowList unreachable(":987"), fromEnvironment;
    for (X11WindowList* list : {&unreachable, &fromEnvironment}) {
        EXPECT_TRUE(list->windows().empty());
        EXPECT_FALSE(list->activate(0x200001));
    }
    if (saved) ::setenv("DISPLAY", previous.c_str(), 1);
}

TEST(X11WindowListTest, OwnedMappedTopLevelsAndActivationWithAndWithoutAWindowManager) {
    testing::XvfbDisplay xvfb;
    if (!xvfb.available()) GTEST_SKIP() << "No virtual X server: " << xvfb.problem();
    XTestClient x(xvfb.name());
    ASSERT_TRUE(x.connected());
    X11WindowList list(xvfb.name());
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::int32_t pid = ::getpid();
    const auto ours = [&](const std::string& windowClass) {
        return XTestClient::WindowSpec{static_cast<std::uint32_t>(pid), "brimwick-test",
                                       windowClass, host};
    };
    // Without a window manager: mapped top-level windows of a process on this machine.
    const auto alpha = x.createWindow(ours("Alpha"));
    auto qualified = ours("");
    qualified.machine = std::string(host) + ".example.org";  // this machine, fully qualified
    const auto unnamed = x.createWindow(qualified);
    auto remote = ours("Remote"), hidden = ours("Hidden"), popup = ours("Popup");
    remote.machine = "elsewhere.invalid";  // its process id means nothing here
    hidden.mapped = false;
    popup.overrideRedirect = true;
    for (const auto& window :
         {remote, hidden, popup, XTestClient::WindowSpec{{}, "", "NoOwner", {}}}) {
        x.createWindow(window);
    }
    EXPECT_EQ(list.windows(),
              (std::vector<TopLevelWindow>{{alpha, pid, "Alpha"}, {unnamed, pid, ""}}));
    // Activation raises and focuses; a failed request does not spoil the next.
    ASSERT_TRUE(list.activate(alpha));
    EXPECT_EQ(x.stackingOrder().back(), alpha);
    EXPECT_EQ(x.focus(), alpha);
    EXPECT_FALSE(list.activate(0x7fffff)) << "a window that doesn't exist";
    EXPECT_TRUE(list.activate(unnamed));
    EXPECT_EQ(x.stackingOrder().back(), unnamed);

    // A stand-in EWMH window manager: the check window, the client lists, and the redirect
    // that makes us the receiver of activation requests.
    x.createWindow(ours("Unlisted"));
    auto check = ours("");
    check.mapped = false;
    const auto wm = x.createWindow(check);
    x.setWindowProperty(x.root(), "_NET_SUPPORTING_WM_CHECK", wm);
    x.setWindowProperty(wm, "_NET_SUPPORTING_WM_CHECK", wm);
    x.setWindowList("_NET_CLIENT_LIST", {unnamed, alpha});
    EXPECT_EQ(list.windows(),
              (std::vector<TopLevelWindow>{{unnamed, pid, ""}, {alpha, pid, "Alpha"}}));
    x.setWindowList("_NET_CLIENT_LIST_STACKING", {alpha, unnamed});  // the order on screen
    EXPECT_EQ(list.windows(),
              (std::vector<TopLevelWindow>{{alpha, pid, "Alpha"}, {unnamed, pid, ""}}));
    x.selectRootEvents(XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    const auto stacking = x.stackingOrder();
    ASSERT_TRUE(list.activate(alpha));
    const xcb_atom_t active = x.atom("_NET_ACTIVE_WINDOW");
    EXPECT_TRUE(x.waitForEvent([&](const xcb_generic_event_t& event) {
        const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
        return (event.response_type & 0x7f) == XCB_CLIENT_MESSAGE && message.type == active &&
               message.window == alpha && message.data.data32[0] == 2;  // from a pager: the user's
    }));
    EXPECT_EQ(x.stackingOrder(), stacking);  // the window manager does the raising
}

}  // namespace brimwick
