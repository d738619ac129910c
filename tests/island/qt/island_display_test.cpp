// The island on a real (virtual) X server: clicks outside the ears fall through to the window
// below, clicks on an ear reach Brimwick. Runs island_demo on a private Xvfb, clicks with xdotool.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <string>

#include "support/child_process.h"
#include "support/x_test_client.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

TEST(IslandDisplayTest, ClicksPassThroughExceptOverTheEars) {
    testing::XvfbDisplay display;
    if (!display.available()) GTEST_SKIP() << "no X server for the test: " << display.problem();
    if (::access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
    auto xdotool = [&](const std::string& arguments) {
        return testing::runShell("xdotool " + arguments, "", {{"DISPLAY", display.name()}});
    };
    // A window under the island covering the whole screen, listening for button presses.
    testing::XTestClient client(display.name());
    ASSERT_TRUE(client.connected());
    xcb_connection_t* c = client.connection();
    const xcb_window_t below = xcb_generate_id(c);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, below, client.root(), 0, 0, 1280, 800, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, below);
    client.sync();

    testing::ChildProcess demo({ISLAND_DEMO, "--add", "working:clicks"},
                               {{"DISPLAY", display.name()}, {"QT_QPA_PLATFORM", "xcb"}});
    const auto ready =
        demo.waitForLine([](const std::string& line) { return line.rfind("ready ", 0) == 0; }, 30);
    ASSERT_TRUE(ready) << "the island did not come up";
    double panel[4], ear[4];
    ASSERT_EQ(
        std::sscanf(ready->c_str(), "ready panel %lf %lf %lf %lf session %lf %lf %lf %lf",
                    &panel[0], &panel[1], &panel[2], &panel[3], &ear[0], &ear[1], &ear[2], &ear[3]),
        8);
    ASSERT_GT(ear[2], 0);
    EXPECT_FALSE(xdotool("search --class brimwick").output.empty());  // the panel's window class

    // On the session ear: the tap reaches Brimwick.
    const int earX = int(panel[0] + ear[0] + ear[2] / 2),
              earY = int(panel[1] + ear[1] + ear[3] / 2);
    ASSERT_EQ(xdotool("mousemove " + std::to_string(earX) + " " + std::to_string(earY) + " click 1")
                  .status,
              0);
    EXPECT_TRUE(demo.waitForLine("tap session demo-0", 20));
    // The island's centre, right of the session ear, where no ear is: the window below gets it
    // (and it is the first press it sees, so the ear's click did not leak through).
    const int x = int(panel[0] + panel[2] / 2 + 6), y = int(panel[1] + 8);
    ASSERT_EQ(
        xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1").status, 0);
    int pressX = -1, pressY = -1;
    EXPECT_TRUE(client.waitForEvent(
        [&](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_BUTTON_PRESS) return false;
            const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
            if (press.event != below) return false;
            pressX = press.root_x;
            pressY = press.root_y;
            return true;
        },
        20));
    EXPECT_EQ(pressX, x);
    EXPECT_EQ(pressY, y);
}

}  // namespace
}  // namespace brimwick
