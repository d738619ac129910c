#include "support/x_test_client.h"

#include <poll.h>

#include <chrono>
#include <cstdlib>

namespace brimwick::testing {

XTestClient::XTestClient(const std::string& display) {
    int screen = 0;
    xcb_ = xcb_connect(display.c_str(), &screen);
    if (xcb_connection_has_error(xcb_)) return;
    auto it = xcb_setup_roots_iterator(xcb_get_setup(xcb_));
    for (int i = 0; i < screen; ++i) xcb_screen_next(&it);
    root_ = it.data->root;
}

XTestClient::~XTestClient() {
    xcb_disconnect(xcb_);
}

xcb_atom_t XTestClient::atom(const std::string& name) {
    auto* reply = xcb_intern_atom_reply(
        xcb_, xcb_intern_atom(xcb_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

xcb_window_t XTestClient::createWindow(const WindowSpec& request) {
    const xcb_window_t window = xcb_generate_id(xcb_);
    const std::uint32_t values[] = {request.overrideRedirect ? 1u : 0u};
    xcb_create_window(xcb_, XCB_COPY_FROM_PARENT, window, root_, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      values);
    if (request.pid) {
        xcb_change_property(xcb_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &*request.pid);
    }
    if (!request.instance.empty() || !request.windowClass.empty()) {
        const std::string value = request.instance + '\0' + request.windowClass + '\0';
        xcb_change_property(xcb_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                            8, static_cast<std::uint32_t>(value.size()), value.data());
    }
    if (request.machine) {
        xcb_change_property(xcb_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLIENT_MACHINE,
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(request.machine->size()),
                            request.machine->data());
    }
    if (request.mapped) xcb_map_window(xcb_, window);
    sync();
    return window;
}

void XTestClient::setWindowList(const std::string& property,
                                const std::vector<xcb_window_t>& windows) {
    xcb_change_property(xcb_, XCB_PROP_MODE_REPLACE, root_, atom(property), XCB_ATOM_WINDOW, 32,
                        static_cast<std::uint32_t>(windows.size()), windows.data());
    sync();
}

void XTestClient::setWindowProperty(xcb_window_t window, const std::string& property,
                                    xcb_window_t value) {
    xcb_change_property(xcb_, XCB_PROP_MODE_REPLACE, window, atom(property), XCB_ATOM_WINDOW, 32, 1,
                        &value);
    sync();
}

void XTestClient::selectRootEvents(std::uint32_t mask) {
    xcb_change_window_attributes(xcb_, root_, XCB_CW_EVENT_MASK, &mask);
    sync();
}

std::vector<xcb_window_t> XTestClient::stackingOrder() {
    std::vector<xcb_window_t> result;
    auto* tree = xcb_query_tree_reply(xcb_, xcb_query_tree(xcb_, root_), nullptr);
    if (!tree) return result;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    result.assign(children, children + xcb_query_tree_children_length(tree));
    std::free(tree);
    return result;
}

xcb_window_t XTestClient::focus() {
    auto* reply = xcb_get_input_focus_reply(xcb_, xcb_get_input_focus(xcb_), nullptr);
    const xcb_window_t window = reply ? reply->focus : XCB_NONE;
    std::free(reply);
    return window;
}

bool XTestClient::waitForEvent(const std::function<bool(const xcb_generic_event_t&)>& accept,
                               double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(xcb_)) {
            const bool accepted = accept(*event);
            std::free(event);
            if (accepted) return true;
        }
        if (xcb_connection_has_error(xcb_)) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd wait{xcb_get_file_descriptor(xcb_), POLLIN, 0};
        ::poll(&wait, 1, static_cast<int>(left.count()));
    }
}

void XTestClient::sync() {
    std::free(xcb_get_input_focus_reply(xcb_, xcb_get_input_focus(xcb_), nullptr));
}

}  // namespace brimwick::testing
