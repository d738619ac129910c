// Screen: a private X display as a user sees it, for whole-desktop tests: windows found by title
// or by the tray host that took them in, pixels read back after compositing, and input through
// xdotool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
};

class Screen : public XTestClient {
  public:
    explicit Screen(const std::string& display) : XTestClient(display), display_(display) {}

    // A viewable top-level window with this title, at least `minimum` pixels wide and high.
    std::optional<Frame> topLevel(const std::string& title, int minimum = 2);
    // The tray icon: a window of Brimwick's class that the tray host has taken in (so not a
    // child of the root).
    std::optional<Frame> trayIcon();
    // Empty when the area cannot be read (or the screen is not 24-bit).
    Picture grab(const Frame& area);
    // The viewable top-level windows, top of the stack first, for failure messages.
    std::string windows();

    bool click(int x, int y);
    bool keys(const std::string& names);  // xdotool key names, e.g. "Down Down Return"

  private:
    std::string property(xcb_window_t window, const std::string& name);
    std::string name(xcb_window_t window);
    std::optional<Frame> frame(xcb_window_t window);  // viewable windows only, root coordinates
    std::optional<Frame> embedded(xcb_window_t window, int depth);

    std::string display_;
};

}  // namespace brimwick::testing
