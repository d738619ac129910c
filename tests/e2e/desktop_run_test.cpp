// The desktop app as a user meets it, on a private X server with a compositor and a tray host:
// hooks installed from the tray menu, the pairing code read off the pairing window's QR image, a
// recorded Claude Code session replayed through the installed commands while the island and the
// menu are photographed, and a phone stand-in on loopback approving the permission request.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "app/desktop_module.h"
#include "hooks/hook_commands.h"
#include "platform/terminal_opener.h"
#include "support/child_process.h"
#include "support/desktop_screen.h"
#include "support/desktop_shell.h"
#include "support/eventually.h"
#include "support/phone_client.h"
#include "support/raw_client.h"
#include "support/recorded_session.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::DesktopShell;
using testing::Frame;
using testing::phoneRequest;
using testing::Picture;
using testing::RawClient;
using testing::runShell;
using testing::Screen;
using testing::ShellResult;
using testing::XvfbDisplay;

// Whether something accepts connections on 127.0.0.1:port.
bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The app, the X server and the compositor may take their time on a loaded machine.
bool eventually(const std::function<bool()>& ready, double seconds = 20,
                double pollSeconds = 0.02) {
    return testing::eventually(ready, seconds, pollSeconds);
}

// Long-polls the phone status until `done` holds for it (or about half a minute passes) and
// gives the last document.
nlohmann::json statusWhen(std::uint16_t port, const std::string& token,
                          const std::function<bool(const nlohmann::json&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto status = phoneRequest(port, "GET", "/status", token).body;
    while (!done(status) && std::chrono::steady_clock::now() < deadline && status.is_object()) {
        const auto version = status.value("version", 0LL);
        status = phoneRequest(port, "GET", "/status?v=" + std::to_string(version), token).body;
    }
    return status;
}

// The state of the only session, "" when there is none.
std::string onlyState(const nlohmann::json& status) {
    if (!status.is_object() || !status["sessions"].is_array() || status["sessions"].size() != 1) {
        return "";
    }
    return status["sessions"][0].value("state", "");
}

// The test's folder: the app's home, configuration and runtime folders and the screenshots.
// Removed at the end whatever happened. The screenshots are copied out first, to a folder named
// in the log, when the test failed or BRIMWICK_KEEP_SHOTS names a folder for them.
class Scratch {
  public:
    Scratch()
        : root_(fs::temp_directory_path() / ("brimwick-desktop-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        for (const char* folder : {"home", "config", "runtime", "shots"}) {
            fs::create_directories(root_ / folder);
        }
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
    }
    ~Scratch() {
        std::optional<fs::path> keep;
        if (const char* wanted = std::getenv("BRIMWICK_KEEP_SHOTS"); wanted && *wanted) {
            keep = wanted;
        } else if (::testing::Test::HasFailure()) {
            keep = fs::temp_directory_path() /
                   ("brimwick-desktop-shots-" + std::to_string(::getpid()));
        }
        std::error_code ignored;
        if (keep) {
            fs::create_directories(*keep, ignored);
            for (const auto& shot : fs::directory_iterator(shots(), ignored)) {
                fs::copy_file(shot.path(), *keep / shot.path().filename(),
                              fs::copy_options::overwrite_existing, ignored);
            }
            std::cout << "screenshots: " << keep->string() << std::endl;
        }
        fs::remove_all(root_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    fs::path home() const { return root_ / "home"; }
    fs::path config() const { return root_ / "config"; }
    fs::path runtime() const { return root_ / "runtime"; }
    fs::path shots() const { return root_ / "shots"; }

  private:
    fs::path root_;
};

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    return findExecutable(program, path ? path : "/usr/bin:/bin").has_value();
}

enum class Tint { blue, amber, green };

const char* tintName(Tint tint) {
    switch (tint) {
        case Tint::blue:
            return "blue";
        case Tint::amber:
            return "amber";
        case Tint::green:
            return "green";
    }
    return "";
}

// The clearly coloured pixel's tint, if it is clearly coloured.
std::optional<Tint> tintOf(int r, int g, int b) {
    const int high = std::max({r, g, b});
    if (high < 100 || high - std::min({r, g, b}) < 50) return std::nullopt;
    if (b == high) return Tint::blue;
    if (r == high) return g > b ? std::optional(Tint::amber) : std::nullopt;
    return Tint::green;
}

std::size_t darkPixels(const Picture& picture) {
    return picture.count([](int r, int g, int b) { return r + g + b < 60; });
}

// The columns the dark island body spans, [first, last]; {-1, -1} when there is none.
std::pair<int, int> darkColumns(const Picture& picture) {
    std::pair<int, int> span{-1, -1};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y * picture.width + x)];
            if ((p >> 16) + ((p >> 8) & 0xff) + (p & 0xff) >= 60) continue;
            if (span.first < 0 || x < span.first) span.first = x;
            span.second = std::max(span.second, x);
        }
    }
    return span;
}

// The island with a session in it: the dark island body and on it a mascot mostly in the
// state's colour (working blue, waiting amber, done green).
::testing::AssertionResult showsASession(const Picture& island, Tint expected) {
    if (island.pixels.empty()) return ::testing::AssertionFailure() << "no pixels read";
    std::size_t tinted = 0, matching = 0;
    for (const std::uint32_t p : island.pixels) {
        const auto tint = tintOf(static_cast<int>(p >> 16), (p >> 8) & 0xff, p & 0xff);
        tinted += tint.has_value();
        matching += tint == expected;
    }
    const auto dark = darkPixels(island);
    if (dark >= 200 && tinted >= 10 && matching * 3 >= tinted * 2) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << dark << " dark pixels, " << tinted << " coloured of which " << matching << " "
           << tintName(expected);
}

// The zbarimg reading of a QR code in the image, "" when there is none.
std::string scan(const fs::path& image) {
    auto read = runShell("zbarimg --raw -q '" + image.string() + "' 2>/dev/null", "");
    while (!read.output.empty() && read.output.back() == '\n') read.output.pop_back();
    return read.status == 0 ? read.output : "";
}

// One value of a brimwick://pair?… address (the values we read are never percent-encoded).
std::string queryValue(const std::string& url, const std::string& key) {
    const auto query = url.find('?');
    if (query == std::string::npos) return "";
    for (std::size_t start = query + 1; start < url.size();) {
        const std::size_t end = std::min(url.find('&', start), url.size());
        const std::string pair = url.substr(start, end - start);
        if (pair.rfind(key + "=", 0) == 0) return pair.substr(key.size() + 1);
        start = end + 1;
    }
    return "";
}

TEST(DesktopRun, TrayMenuInstallsHooksAndAPairedPhoneApprovesARecordedSession) {
    for (const char* tool : {"xdotool", "import", "zbarimg", "curl"}) {
        if (!installed(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    // Builds without Qt (the ThreadSanitizer one) have only the headless face.
    if (!fs::exists(fs::path(BRIMWICK_BINARY).parent_path() / kDesktopModuleName)) {
        GTEST_SKIP() << "this build has no desktop face";
    }
    Scratch scratch;
    XvfbDisplay display;
    if (!display.available()) GTEST_SKIP() << "no X server for the test: " << display.problem();
    DesktopShell shell(display.name());
    if (!shell.available()) GTEST_SKIP() << "no desktop for the test: " << shell.problem();
    Screen screen(display.name());
    ASSERT_TRUE(screen.connected());
    ASSERT_FALSE(listening(hook_commands::kPort))
        << "something already listens on 127.0.0.1:" << hook_commands::kPort
        << " (another Brimwick?)";

    const std::uint16_t phonePort = testing::freeLoopbackPort();
    // Declared before the app, so a request still waiting at a failure ends with the app
    // rather than keeping the test waiting for it.
    std::future<ShellResult> permission;
    ChildProcess app(
        {BRIMWICK_BINARY},
        {{"DISPLAY", display.name()},
         {"HOME", scratch.home().string()},
         {"XDG_CONFIG_HOME", scratch.config().string()},
         {"XDG_RUNTIME_DIR", scratch.runtime().string()},
         {"BRIMWICK_PHONE_PORT", std::to_string(phonePort)},
         {"BRIMWICK_USAGE_URL", "http://127.0.0.1:9/api/oauth/usage"},
         {"QT_QPA_PLATFORM", "xcb"},
         // A session bus with a StatusNotifier host would take the icon away from
         // trayer; the app gets none.
         {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (scratch.runtime() / "no-bus").string()}});
    const auto output = [&] {
        while (app.readLine(0)) {
        }
        return ::testing::PrintToString(app.lines());
    };

    // The tray host takes the icon in and then sizes and places it; a click aimed at where the
    // icon was a moment ago misses. The icon counts as placed once two readings 200 ms apart
    // agree.
    const auto placedIcon = [&]() -> std::optional<Frame> {
        std::optional<Frame> before;
        std::optional<Frame> now;
        const bool placed = eventually(
            [&] {
                before = now;
                now = screen.trayIcon();
                return before && now && before->x == now->x && before->y == now->y &&
                       before->width == now->width && before->height == now->height;
            },
            20, 0.2);
        return placed ? now : std::nullopt;
    };
    ASSERT_TRUE(placedIcon()) << "no tray icon appeared; the app said " << output();

    // Opens the menu with a click on the tray icon and waits until it is drawn, so the keys
    // that follow reach it. Clicks are spaced like a person's, beyond the desktop's
    // double-click time (400 ms by default). A click that finds no menu after a few seconds is
    // tried again, as a person would, but never while a menu is still being drawn, which a
    // second click would shut. The clicks are kept for the failure message.
    std::optional<std::chrono::steady_clock::time_point> lastClick;
    std::string clicks;
    const auto openMenu = [&]() -> std::optional<Frame> {
        std::optional<Frame> menu;
        const auto drawn = [&] {
            menu = screen.topLevel("Brimwick", 100);
            return menu && screen.grab(*menu).distinctColours() >= 8;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (lastClick) {
                std::this_thread::sleep_until(*lastClick + std::chrono::milliseconds(700));
            }
            const auto icon = placedIcon();
            if (!icon) return std::nullopt;
            const int x = icon->x + icon->width / 2, y = icon->y + icon->height / 2;
            clicks += "\n  at " + std::to_string(x) + "," + std::to_string(y) + " on the icon " +
                      std::to_string(icon->width) + "x" + std::to_string(icon->height) + "+" +
                      std::to_string(icon->x) + "+" + std::to_string(icon->y);
            lastClick = std::chrono::steady_clock::now();
            if (!screen.click(x, y)) return std::nullopt;
            if (eventually(drawn, 5)) return menu;
            if (menu) return eventually(drawn, 15) ? menu : std::nullopt;
        }
        return std::nullopt;
    };
    // For failure messages: what is on the screen (also kept as a picture), the clicks on the
    // tray icon and what the app printed.
    const auto situation = [&] {
        screen.shoot(Frame{0, 0, XvfbDisplay::kWidth, XvfbDisplay::kHeight},
                     scratch.shots() / "screen.png");
        return "windows:" + screen.windows() + "\nclicks on the tray icon:" + clicks +
               "\nthe app said " + output();
    };

    // Installing the hooks. The arrow keys step over enabled rows only; at the top those are
    // "Refresh usage", "Show Claude usage in the island", "Connect phone over Wi‑Fi", "Notify when
    // a session needs me", "Approve from desktop", then the install item.
    const auto firstMenu = openMenu();
    ASSERT_TRUE(firstMenu) << "the tray icon's menu did not open; " << situation();
    EXPECT_TRUE(screen.shoot(*firstMenu, scratch.shots() / "menu-start.png"));
    ASSERT_TRUE(screen.keys("Down Down Down Down Down Down Return"));
    std::optional<Frame> alert;
    ASSERT_TRUE(eventually([&] {
        return (alert = screen.topLevel("Connected to Claude Code")).has_value();
    })) << "no success alert after choosing the install item; "
        << situation();
    EXPECT_TRUE(screen.shoot(*alert, scratch.shots() / "alert-connected.png"));
    EXPECT_FALSE(screen.topLevel("Brimwick", 100)) << "the menu stayed open under the alert";
    ASSERT_TRUE(screen.keys("Return"));
    EXPECT_TRUE(eventually([&] { return !screen.topLevel("Connected to Claude Code"); }));

    const auto settings = nlohmann::json::parse(
        std::ifstream(scratch.home() / ".claude/settings.json"), nullptr, false);
    ASSERT_TRUE(settings.is_object());
    for (const auto event : hook_commands::kEvents) {
        const auto& groups = settings["hooks"][std::string(event)];
        ASSERT_TRUE(groups.is_array() && !groups.empty()) << event;
        EXPECT_EQ(groups.back()["hooks"][0]["command"], hook_commands::commandFor(event)) << event;
    }
    const auto command = [&](const std::string& event) {
        return settings["hooks"][event].back()["hooks"][0]["command"].get<std::string>();
    };

    // Switching the phone link on opens the pairing window; its QR image carries the code.
    ASSERT_TRUE(openMenu()) << situation();
    ASSERT_TRUE(screen.keys("Down Down Down Return"));
    std::string pairingUrl;
    ASSERT_TRUE(eventually([&] {
        const auto window = screen.topLevel("Pair a phone", 100);
        return window && screen.shoot(*window, scratch.shots() / "pair.png") &&
               !(pairingUrl = scan(scratch.shots() / "pair.png")).empty();
    })) << "no readable QR code in the pairing window; "
        << situation();
    ASSERT_EQ(pairingUrl.rfind("brimwick://pair?", 0), 0u) << pairingUrl;
    EXPECT_EQ(queryValue(pairingUrl, "port"), std::to_string(phonePort)) << pairingUrl;
    const std::string code = queryValue(pairingUrl, "code");
    ASSERT_EQ(code.size(), 6u) << pairingUrl;

    // The phone pairs over loopback only; the address in the QR image is never dialled.
    const auto paired =
        phoneRequest(phonePort, "POST", "/pair", {},
                     nlohmann::json{{"code", code}, {"device", "Test phone"}}.dump());
    ASSERT_EQ(paired.status, "200 OK") << paired.body.dump();
    const std::string token = paired.body["token"];

    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 7u);
    const auto run = [&](std::size_t index) {
        return runShell(command(testing::eventNameOf(payloads[index])), payloads[index]);
    };
    ASSERT_TRUE(eventually([] { return listening(hook_commands::kPort); }))
        << "the hook server did not start; the app said " << output();

    std::optional<Frame> island;
    ASSERT_TRUE(
        eventually([&] { return (island = screen.topLevel("Brimwick island")).has_value(); }));
    // Waits until the island shows the session in the state's colour and has stopped growing
    // (its dark body spans the same columns in five readings in a row), then photographs it.
    const auto photographIsland = [&](const std::string& name, Tint tint) {
        Picture picture;
        std::pair<int, int> span{-1, -1};
        int same = 0;
        eventually(
            [&] {
                picture = screen.grab(*island);
                const auto now = darkColumns(picture);
                same = now == span ? same + 1 : 0;
                span = now;
                return same >= 4 && showsASession(picture, tint);
            },
            10);
        EXPECT_TRUE(screen.shoot(*island, scratch.shots() / (name + ".png")));
        return showsASession(picture, tint);
    };

    const auto islandEmpty = [&] { return darkPixels(screen.grab(*island)) == 0; };
    EXPECT_TRUE(eventually(islandEmpty, 10)) << "the island shows something with no session";

    // Working.
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(run(i).status, 0) << i;
    auto status =
        statusWhen(phonePort, token, [](const auto& s) { return onlyState(s) == "working"; });
    EXPECT_EQ(onlyState(status), "working") << status.dump();
    EXPECT_TRUE(photographIsland("island-working", Tint::blue));

    // Waiting for approval: the phone has just asked for the status, so the request waits for
    // its answer.
    permission =
        std::async(std::launch::async, [text = command("PermissionRequest"), input = payloads[3]] {
            return runShell(text, input);
        });
    status = statusWhen(phonePort, token, [](const nlohmann::json& s) {
        return onlyState(s) == "approval" && !s["sessions"][0]["pending"].is_null();
    });
    ASSERT_EQ(onlyState(status), "approval") << status.dump();
    const auto pending = status["sessions"][0]["pending"];
    EXPECT_EQ(pending["tool"], "Bash");
    EXPECT_TRUE(photographIsland("island-approval", Tint::amber));

    // The menu now lists the session and the phone's rows as well.
    const auto busyMenu = openMenu();
    ASSERT_TRUE(busyMenu) << situation();
    EXPECT_TRUE(screen.shoot(*busyMenu, scratch.shots() / "menu-approval.png"));
    EXPECT_GT(busyMenu->height, firstMenu->height);
    EXPECT_GE(screen.grab(*busyMenu).distinctColours(), 8u);
    ASSERT_TRUE(screen.keys("Escape"));
    EXPECT_TRUE(eventually([&] { return !screen.topLevel("Brimwick", 100); }));

    EXPECT_EQ(testing::phoneDecides(phonePort, token, pending["id"], "allow").status,
              "202 Accepted");
    const auto answered = permission.get();
    EXPECT_EQ(answered.status, 0);
    EXPECT_EQ(nlohmann::json::parse(answered.output, nullptr, false),
              testing::allowedByPhoneOutput());

    // Done.
    EXPECT_EQ(run(4).status, 0);  // PostToolUse
    const auto stop = run(5);
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.output, "");
    status = statusWhen(phonePort, token, [](const auto& s) { return onlyState(s) == "finished"; });
    EXPECT_EQ(onlyState(status), "finished") << status.dump();
    EXPECT_TRUE(photographIsland("island-done", Tint::green));

    EXPECT_EQ(run(6).status, 0);  // SessionEnd
    status = statusWhen(phonePort, token, [](const nlohmann::json& s) {
        return s.is_object() && s["sessions"].is_array() && s["sessions"].empty();
    });
    EXPECT_TRUE(status["sessions"].empty()) << status.dump();
    EXPECT_TRUE(eventually(islandEmpty, 10)) << "the island stayed after the session ended";

    EXPECT_EQ(app.stop(SIGTERM), 0) << output();
}

}  // namespace
}  // namespace brimwick
