// The desktop app as a user meets it, on a private X server with a compositor and a tray host:
// hooks installed from the tray menu, a recorded Claude Code session replayed through the
// installed commands and shown by the island, whose empty parts let clicks through to the window
// below, and the phone switch opening the pairing window.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/desktop_module.h"
#include "hooks/hook_commands.h"
#include "platform/terminal_opener.h"
#include "support/child_process.h"
#include "support/desktop_screen.h"
#include "support/desktop_shell.h"
#include "support/eventually.h"
#include "support/phone_client.h"
#include "support/recorded_session.h"
#include "support/scratch_folder.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

using testing::Frame;
using testing::Picture;

// Whether something accepts connections on 127.0.0.1:port.
bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The app, the X server and the compositor may take their time on a loaded machine.
bool eventually(const std::function<bool()>& ready, double seconds = 20, double poll = 0.02) {
    return testing::eventually(ready, seconds, poll);
}

enum class Tint { none, blue, amber, green };

// A clearly coloured pixel's tint: working blue, waiting amber, done green.
Tint tintOf(std::uint32_t p) {
    const int r = p >> 16, g = (p >> 8) & 0xff, b = p & 0xff, high = std::max({r, g, b});
    if (high < 100 || high - std::min({r, g, b}) < 50) return Tint::none;
    if (b == high) return Tint::blue;
    if (r == high) return g > b ? Tint::amber : Tint::none;
    return Tint::green;
}

std::size_t darkPixels(const Picture& picture) {
    return std::count_if(picture.pixels.begin(), picture.pixels.end(), [](std::uint32_t p) {
        return (p >> 16) + ((p >> 8) & 0xff) + (p & 0xff) < 60;
    });
}

// The island with a session in it: the dark island body and on it a mascot mostly in `tint`.
bool showsASession(const Picture& island, Tint tint) {
    std::size_t tinted = 0, matching = 0;
    for (const std::uint32_t p : island.pixels) {
        tinted += tintOf(p) != Tint::none;
        matching += tintOf(p) == tint;
    }
    return darkPixels(island) >= 200 && tinted >= 10 && matching * 3 >= tinted * 2;
}

TEST(DesktopRun, TrayMenuInstallsHooksAndTheIslandShowsARecordedSession) {
    for (const char* tool : {"xdotool", "curl"}) {
        const char* path = std::getenv("PATH");
        if (!findExecutable(tool, path ? path : "/usr/bin:/bin"))
            GTEST_SKIP() << tool << " is not installed";
    }
    // Builds without Qt (the ThreadSanitizer one) have only the headless face.
    if (!std::filesystem::exists(std::filesystem::path(BRIMWICK_BINARY).parent_path() /
                                 kDesktopModuleName)) {
        GTEST_SKIP() << "this build has no desktop face";
    }
    testing::XvfbDisplay display;
    if (!display.available()) GTEST_SKIP() << "no X server for the test: " << display.problem();
    testing::DesktopShell shell(display.name());
    if (!shell.available()) GTEST_SKIP() << "no desktop for the test: " << shell.problem();
    testing::Screen screen(display.name());
    ASSERT_TRUE(screen.connected());
    ASSERT_FALSE(listening(hook_commands::kPort))
        << "another Brimwick on " << hook_commands::kPort << "?";

    // A window under all others, covering the screen, that sees the clicks passing through.
    const xcb_window_t below = xcb_generate_id(screen.connection());
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(screen.connection(), XCB_COPY_FROM_PARENT, below, screen.root(), 0, 0,
                      testing::XvfbDisplay::kWidth, testing::XvfbDisplay::kHeight, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const std::uint32_t bottom[] = {XCB_STACK_MODE_BELOW};
    xcb_configure_window(screen.connection(), below, XCB_CONFIG_WINDOW_STACK_MODE, bottom);
    xcb_map_window(screen.connection(), below);
    screen.sync();

    const testing::ScratchFolder scratch("brimwick-desktop");
    const auto home = scratch.path() / "home", runtime = scratch.path() / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    testing::ChildProcess app(
        {BRIMWICK_BINARY},
        {{"DISPLAY", display.name()},
         {"HOME", home.string()},
         {"XDG_CONFIG_HOME", (scratch.path() / "config").string()},
         {"XDG_RUNTIME_DIR", runtime.string()},
         {"BRIMWICK_PHONE_PORT", std::to_string(testing::freeLoopbackPort())},
         {"BRIMWICK_USAGE_URL", "http://127.0.0.1:9/api/oauth/usage"},
         {"QT_QPA_PLATFORM", "xcb"},
         // A session bus with a StatusNotifier host would take the icon away from trayer.
         {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime / "no-bus").string()}});
    const auto output = [&] {
        while (app.readLine(0)) {
        }
        return ::testing::PrintToString(app.lines());
    };

    // The tray host takes the icon in and then sizes and places it; a click aimed at where the
    // icon was a moment ago misses. It counts as placed once two readings 200 ms apart agree.
    const auto placedIcon = [&]() -> std::optional<Frame> {
        std::optional<Frame> before, now;
        const bool placed = eventually(
            [&] {
                before = std::exchange(now, screen.trayIcon());
                return before && now && before->x == now->x && before->y == now->y &&
                       before->width == now->width && before->height == now->height;
            },
            20, 0.2);
        return placed ? now : std::nullopt;
    };
    ASSERT_TRUE(placedIcon()) << "no tray icon appeared; the app said " << output();

    // Opens the menu with a click on the tray icon and waits until it is drawn, so the keys that
    // follow reach it. Clicks are spaced beyond the double-click time (400 ms by default); one
    // that finds no menu after a few seconds is tried again, never while a menu is being drawn,
    // which a second click would shut.
    std::optional<std::chrono::steady_clock::time_point> lastClick;
    std::string clicks;
    const auto openMenu = [&]() -> std::optional<Frame> {
        std::optional<Frame> menu;
        const auto drawn = [&] {
            menu = screen.topLevel("Brimwick", 100);
            return menu && screen.grab(*menu).distinctColours() >= 8;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (lastClick)
                std::this_thread::sleep_until(*lastClick + std::chrono::milliseconds(700));
            const auto icon = placedIcon();
            if (!icon) return std::nullopt;
            const int x = icon->x + icon->width / 2, y = icon->y + icon->height / 2;
            clicks += " " + std::to_string(x) + "," + std::to_string(y);
            lastClick = std::chrono::steady_clock::now();
            if (!screen.click(x, y)) return std::nullopt;
            if (eventually(drawn, 5)) return menu;
            if (menu) return eventually(drawn, 15) ? menu : std::nullopt;
        }
        return std::nullopt;
    };
    const auto situation = [&] {
        return "windows:" + screen.windows() + "\nclicks on the tray icon:" + clicks +
               "\nthe app said " + output();
    };

    // The arrow keys step over enabled rows only: "Refresh usage", "Show Claude usage in the
    // island", "Connect phone over Wi‑Fi", "Notify when a session needs me", "Approve from
    // desktop", then the install item.
    const auto firstMenu = openMenu();
    ASSERT_TRUE(firstMenu) << "the tray icon's menu did not open; " << situation();
    ASSERT_TRUE(screen.keys("Down Down Down Down Down Down Return"));
    ASSERT_TRUE(eventually([&] { return screen.topLevel("Connected to Claude Code").has_value(); }))
        << "no success alert after choosing the install item; " << situation();
    EXPECT_FALSE(screen.topLevel("Brimwick", 100)) << "the menu stayed open under the alert";
    ASSERT_TRUE(screen.keys("Return"));
    EXPECT_TRUE(eventually([&] { return !screen.topLevel("Connected to Claude Code"); }));
    const auto settings =
        nlohmann::json::parse(std::ifstream(home / ".claude/settings.json"), nullptr, false);
    ASSERT_TRUE(settings.is_object());
    for (const auto event : hook_commands::kEvents) {
        const auto& groups = settings["hooks"][std::string(event)];
        ASSERT_TRUE(groups.is_array() && !groups.empty()) << event;
        EXPECT_EQ(groups.back()["hooks"][0]["command"], hook_commands::commandFor(event)) << event;
    }
    ASSERT_TRUE(eventually([] { return listening(hook_commands::kPort); })) << situation();

    // Switching the phone link on opens the pairing window.
    ASSERT_TRUE(openMenu()) << situation();
    ASSERT_TRUE(screen.keys("Down Down Down Return"));
    EXPECT_TRUE(eventually([&] { return screen.topLevel("Pair a phone", 100).has_value(); }))
        << situation();

    // Nothing shown yet: the whole island lets clicks through to the window below.
    std::optional<Frame> island;
    ASSERT_TRUE(
        eventually([&] { return (island = screen.topLevel("Brimwick island")).has_value(); }));
    const auto islandEmpty = [&] { return darkPixels(screen.grab(*island)) == 0; };
    EXPECT_TRUE(eventually(islandEmpty, 10)) << "the island shows something with no session";
    const int x = island->x + island->width / 2, y = island->y + island->height / 4;
    ASSERT_TRUE(screen.click(x, y));
    EXPECT_TRUE(screen.waitForEvent([&](const xcb_generic_event_t& event) {
        const auto& press = reinterpret_cast<const xcb_button_press_event_t&>(event);
        return (event.response_type & 0x7f) == XCB_BUTTON_PRESS && press.event == below &&
               press.root_x == x && press.root_y == y;
    })) << "the island took a click with nothing in it";

    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 7u);
    const auto run = [&](std::size_t index) {
        const auto& groups = settings["hooks"][testing::eventNameOf(payloads[index])];
        return testing::runShell(groups.back()["hooks"][0]["command"].get<std::string>(),
                                 payloads[index]);
    };
    const auto shows = [&](Tint tint) {
        return eventually([&] { return showsASession(screen.grab(*island), tint); });
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(run(i).status, 0) << i;
    EXPECT_TRUE(shows(Tint::blue)) << "the island does not show the working session";
    // No phone watches, so the permission request is answered at once, empty.
    const auto permission = run(3);
    EXPECT_EQ(permission.status, 0);
    EXPECT_EQ(permission.output, "");
    EXPECT_TRUE(shows(Tint::amber)) << "the island does not show the waiting session";

    // The menu now lists the session and the phone's rows as well.
    const auto busyMenu = openMenu();
    ASSERT_TRUE(busyMenu) << situation();
    EXPECT_GT(busyMenu->height, firstMenu->height);
    ASSERT_TRUE(screen.keys("Escape"));
    EXPECT_TRUE(eventually([&] { return !screen.topLevel("Brimwick", 100); }));

    EXPECT_EQ(run(4).status, 0);  // PostToolUse
    const auto stop = run(5);
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.output, "");
    EXPECT_TRUE(shows(Tint::green)) << "the island does not show the finished session";
    EXPECT_EQ(run(6).status, 0);  // SessionEnd
    EXPECT_TRUE(eventually(islandEmpty, 10)) << "the island stayed after the session ended";

    EXPECT_EQ(app.stop(SIGTERM), 0) << output();
}

}  // namespace
}  // namespace brimwick
