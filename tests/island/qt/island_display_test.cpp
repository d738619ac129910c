// The island on a real (virtual) X server: clicks outside the ears fall through to the window
// below, clicks on an ear reach Brimwick. Runs the island_demo program on a private Xvfb and
// clicks with xdotool.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "support/child_process.h"
#include "support/x_test_client.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

using testing::ChildProcess;
using testing::XTestClient;
using testing::XvfbDisplay;

struct Frames {
    double panel[4] = {};
    double session[4] = {};
};

// "ready panel x y w h session x y w h usage x y w h"
Frames parseReady(const std::string& line) {
    Frames frames;
    std::istringstream in(line);
    std::string word;
    in >> word >> word;
    for (double& v : frames.panel) in >> v;
    in >> word;
    for (double& v : frames.session) in >> v;
    return frames;
}

class IslandDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!display.available()) GTEST_SKIP() << "no X server for the test: " << display.problem();
        if (::access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
    }

    testing::ShellResult xdotool(const std::string& arguments) {
        return testing::runShell("xdotool " + arguments, "", {{"DISPLAY", display.name()}});
    }

    // A window under the island covering the whole screen, listening for button presses.
    xcb_window_t windowBelow(XTestClient& client) {
        xcb_connection_t* c = client.connection();
        const xcb_window_t window = xcb_generate_id(c);
        const std::uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, client.root(), 0, 0, 1280, 800, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(c, window);
        client.sync();
        return window;
    }

    XvfbDisplay display;
};

TEST_F(IslandDisplayTest, ClicksPassThroughExceptOverTheEars) {
    XTestClient client(display.name());
    ASSERT_TRUE(client.connected());
    const xcb_window_t below = windowBelow(client);

    ChildProcess demo({ISLAND_DEMO, "--add", "working:clicks"},
                      {{"DISPLAY", display.name()}, {"QT_QPA_PLATFORM", "xcb"}});
    const auto ready =
        demo.waitForLine([](const std::string& line) { return line.rfind("ready ", 0) == 0; }, 30);
    ASSERT_TRUE(ready) << "the island did not come up";
    const Frames frames = parseReady(*ready);
    ASSERT_GT(frames.session[2], 0);

    // The window class finds the panel.
    EXPECT_FALSE(xdotool("search --class brimwick").output.empty());

    // On the session ear: the tap reaches Brimwick.
    const int earX = static_cast<int>(frames.panel[0] + frames.session[0] + frames.session[2] / 2);
    const int earY = static_cast<int>(frames.panel[1] + frames.session[1] + frames.session[3] / 2);
    ASSERT_EQ(xdotool("mousemove " + std::to_string(earX) + " " + std::to_string(earY) + " click 1")
                  .status,
              0);
    EXPECT_TRUE(demo.waitForLine("tap session demo-0", 20));

    // The island's centre, right of the session ear, where no ear is: the window below gets it
    // (and it is the first press it sees, so the ear's click did not leak through).
    const int centreX = static_cast<int>(frames.panel[0] + frames.panel[2] / 2 + 6);
    const int centreY = static_cast<int>(frames.panel[1] + 8);
    ASSERT_EQ(
        xdotool("mousemove " + std::to_string(centreX) + " " + std::to_string(centreY) + " click 1")
            .status,
        0);
    int pressX = -1;
    int pressY = -1;
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
    EXPECT_EQ(pressX, centreX);
    EXPECT_EQ(pressY, centreY);
}

}  // namespace
}  // namespace brimwick
