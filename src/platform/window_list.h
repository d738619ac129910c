// WindowList: the desktop's top-level application windows, and bringing one of them forward.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brimwick {

// One top-level window of a running desktop application.
struct TopLevelWindow {
    std::uint32_t id = 0;
    std::int32_t pid = 0;   // the process that owns it
    std::string className;  // the application's class ("XTerm"), or empty when unset

    bool operator==(const TopLevelWindow&) const = default;
};

// Main thread only. An implementation may hold a connection to the display between calls.
class WindowList {
  public:
    virtual ~WindowList() = default;

    // The windows that the desktop lists as applications, bottom of the stack first. Windows that
    // don't say which process owns them, or that belong to another machine, are left out. Empty
    // when there is no display.
    virtual std::vector<TopLevelWindow> windows() = 0;

    // Asks the desktop to raise and focus the window. False when the request couldn't be sent;
    // true means it was sent, not that the desktop honoured it.
    virtual bool activate(std::uint32_t windowId) = 0;
};

// The windows of an X11 display (X.Org or XWayland), as listed by the window manager in
// `_NET_CLIENT_LIST`, with the owner from `_NET_WM_PID`. Without an EWMH window manager the
// mapped children of the root window are listed instead, and activation raises and focuses the
// window itself. The connection is opened on first use and again after it breaks.
class X11WindowList final : public WindowList {
  public:
    // `display` as in $DISPLAY; empty means $DISPLAY itself. Unset or unreachable: no windows.
    explicit X11WindowList(std::string display = {});
    ~X11WindowList() override;
    X11WindowList(const X11WindowList&) = delete;
    X11WindowList& operator=(const X11WindowList&) = delete;

    std::vector<TopLevelWindow> windows() override;
    bool activate(std::uint32_t windowId) override;

  private:
    struct Connection;
    Connection* connection();

    std::string display_;
    Connection* connection_ = nullptr;
};

}  // namespace brimwick
