// XTestClient: a raw X connection for tests that arrange windows and watch what others send.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brimwick::testing {

// Every call waits for the server, so what it arranged is in place when it returns.
class XTestClient {
  public:
    explicit XTestClient(const std::string& display);
    ~XTestClient();
    XTestClient(const XTestClient&) = delete;
    XTestClient& operator=(const XTestClient&) = delete;

    bool connected() const { return !xcb_connection_has_error(xcb_); }
    xcb_connection_t* connection() const { return xcb_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t atom(const std::string& name);

    struct WindowSpec {
        std::optional<std::uint32_t> pid;    // _NET_WM_PID
        std::string instance, windowClass;   // WM_CLASS; nothing set when both are empty
        std::optional<std::string> machine;  // WM_CLIENT_MACHINE
        bool mapped = true;
        bool overrideRedirect = false;
    };
    xcb_window_t createWindow(const WindowSpec& request);

    void setWindowList(const std::string& property, const std::vector<xcb_window_t>& windows);
    void setWindowProperty(xcb_window_t window, const std::string& property, xcb_window_t value);
    void selectRootEvents(std::uint32_t mask);

    // The root's children, bottom of the stack first.
    std::vector<xcb_window_t> stackingOrder();
    xcb_window_t focus();

    // Waits up to `seconds` for an event that `accept` takes; false on time-out.
    bool waitForEvent(const std::function<bool(const xcb_generic_event_t&)>& accept,
                      double seconds = 20);

    void sync();

  private:
    xcb_connection_t* xcb_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
};

}  // namespace brimwick::testing
