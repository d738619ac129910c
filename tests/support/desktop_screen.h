// Screen: a private X display as a user sees it, for whole-desktop tests: windows found by title
// or by the tray host that took them in, pixels read back after compositing, screenshots and
// input through the usual tools (ImageMagick's import, xdotool).
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/x_test_client.h"

namespace brimwick::testing {

struct Frame {
    int x = 0, y = 0, width = 0, height = 0;
};

// Screen pixels as 0xRRGGBB, row by row.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    std::size_t distinctColours() const;
    std::size_t count(const std::function<bool(int r, int g, int b)>& which) const;
};

class Screen {
  public:
    explicit Screen(std::string display);

    bool connected() const { return x_.connected(); }

    // A viewable top-level window with this title, at least `minimum` pixels wide and high.
    std::optional<Frame> topLevel(const std::string& title, int minimum = 2);
    // The tray icon: a window of Brimwick's class that the tray host has taken in (so not a
    // child of the root).
    std::optional<Frame> trayIcon();

    // Empty when the area cannot be read (or the screen is not 24-bit).
    Picture grab(const Frame& area);
    // A PNG of part of the screen (what the user sees, compositing included).
    bool shoot(const Frame& area, const std::filesystem::path& file);
    // The viewable top-level windows, top of the stack first, for failure messages.
    std::string windows();

    bool click(int x, int y);
    // xdotool key names, e.g. "Down Down Return".
    bool keys(const std::string& names);
    ShellResult run(const std::string& command);

  private:
    std::string property(xcb_window_t window, const std::string& name);
    std::string name(xcb_window_t window);
    // Viewable windows only, in root coordinates.
    std::optional<Frame> frame(xcb_window_t window);
    std::optional<Frame> embedded(xcb_window_t window, int depth);

    std::string display_;
    XTestClient x_;
};

}  // namespace brimwick::testing
