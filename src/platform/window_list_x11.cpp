#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/window_list.h"

namespace brimwick {

struct X11WindowList::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_ewmh_connection_t ewmh{};
    int screen = 0;
    bool ewmhReady = false;

    ~Connection() {
        if (ewmhReady) xcb_ewmh_connection_wipe(&ewmh);
        if (xcb) xcb_disconnect(xcb);
    }
    xcb_window_t root() const { return ewmh.screens[screen]->root; }
};

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// WM_CLIENT_MACHINE is the client's own host name, short or fully qualified.
bool sameMachine(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const auto& shorter = a.size() < b.size() ? a : b;
    const auto& longer = a.size() < b.size() ? b : a;
    return !shorter.empty() && longer.compare(0, shorter.size(), shorter) == 0 &&
           longer[shorter.size()] == '.';
}

std::string stringProperty(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
}

// WM_CLASS holds "instance\0class\0"; the class is the application's name ("XTerm").
std::string classOf(xcb_get_property_reply_t* reply) {
    const std::string value = stringProperty(reply);
    const auto nul = value.find('\0');
    if (nul == std::string::npos) return {};
    return std::string(value.c_str() + nul + 1);
}

// Without a window manager the top-level windows are the root's mapped children.
std::vector<xcb_window_t> unmanagedWindows(xcb_connection_t* xcb, xcb_window_t root) {
    std::vector<xcb_window_t> result;
    auto tree = own(xcb_query_tree_reply(xcb, xcb_query_tree(xcb, root), nullptr));
    if (!tree) return result;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (int i = 0; i < count; ++i) {
        cookies.push_back(xcb_get_window_attributes(xcb, children[i]));
    }
    for (int i = 0; i < count; ++i) {
        auto attributes = own(xcb_get_window_attributes_reply(xcb, cookies[i], nullptr));
        if (attributes && !attributes->override_redirect &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            result.push_back(children[i]);
        }
    }
    return result;
}

bool hasWindowManager(xcb_ewmh_connection_t* ewmh, xcb_window_t root) {
    xcb_window_t check = XCB_NONE;
    return xcb_ewmh_get_supporting_wm_check_reply(
               ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, root), &check, nullptr) != 0 &&
           check != XCB_NONE;
}

}  // namespace

X11WindowList::X11WindowList(std::string display) : display_(std::move(display)) {}

X11WindowList::~X11WindowList() {
    delete connection_;
}

X11WindowList::Connection* X11WindowList::connection() {
    if (connection_ && xcb_connection_has_error(connection_->xcb)) {
        delete connection_;
        connection_ = nullptr;
    }
    if (connection_) return connection_;

    std::string display = display_;
    if (display.empty()) {
        const char* variable = std::getenv("DISPLAY");
        if (!variable || variable[0] == '\0') return nullptr;
        display = variable;
    }
    auto fresh = std::make_unique<Connection>();
    fresh->xcb = xcb_connect(display.c_str(), &fresh->screen);
    if (xcb_connection_has_error(fresh->xcb)) return nullptr;
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(fresh->xcb, &fresh->ewmh);
    if (!cookies || !xcb_ewmh_init_atoms_replies(&fresh->ewmh, cookies, nullptr)) return nullptr;
    fresh->ewmhReady = true;
    if (fresh->screen < 0 || fresh->screen >= fresh->ewmh.nb_screens) return nullptr;
    connection_ = fresh.release();
    return connection_;
}

std::vector<TopLevelWindow> X11WindowList::windows() {
    std::vector<TopLevelWindow> result;
    Connection* connection = this->connection();
    if (!connection) return result;
    xcb_connection_t* xcb = connection->xcb;
    xcb_ewmh_connection_t* ewmh = &connection->ewmh;

    // The stacking list gives the order the user sees; not every window manager keeps it.
    std::vector<xcb_window_t> ids;
    xcb_ewmh_get_windows_reply_t list{};
    if (xcb_ewmh_get_client_list_stacking_reply(
            ewmh, xcb_ewmh_get_client_list_stacking(ewmh, connection->screen), &list, nullptr) ||
        xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list(ewmh, connection->screen),
                                       &list, nullptr)) {
        ids.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    } else {
        ids = unmanagedWindows(xcb, connection->root());
    }

    struct Pending {
        xcb_get_property_cookie_t pid, windowClass, machine;
    };
    std::vector<Pending> pending;
    for (const xcb_window_t id : ids) {
        pending.push_back(
            {xcb_ewmh_get_wm_pid(ewmh, id),
             xcb_get_property(xcb, 0, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
             xcb_get_property(xcb, 0, id, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 0, 256)});
    }
    const std::string host = hostName();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::uint32_t pid = 0;
        const bool hasPid = xcb_ewmh_get_wm_pid_reply(ewmh, pending[i].pid, &pid, nullptr) != 0;
        auto windowClass = own(xcb_get_property_reply(xcb, pending[i].windowClass, nullptr));
        auto machine = own(xcb_get_property_reply(xcb, pending[i].machine, nullptr));
        // A process id only means something on the machine that runs the client.
        const std::string clientMachine = stringProperty(machine.get());
        if (!hasPid || pid == 0 || pid > 0x7fffffff) continue;
        if (!clientMachine.empty() && !host.empty() && !sameMachine(clientMachine, host)) continue;
        result.push_back({ids[i], static_cast<std::int32_t>(pid), classOf(windowClass.get())});
    }
    return result;
}

bool X11WindowList::activate(std::uint32_t windowId) {
    Connection* connection = this->connection();
    if (!connection || windowId == XCB_NONE) return false;
    xcb_connection_t* xcb = connection->xcb;

    if (hasWindowManager(&connection->ewmh, connection->root())) {
        // Source "pager": the request comes from the user, so focus-stealing rules let it pass.
        xcb_ewmh_request_change_active_window(&connection->ewmh, connection->screen, windowId,
                                              XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                              XCB_NONE);
        return xcb_flush(xcb) > 0 && !xcb_connection_has_error(xcb);
    }

    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    auto raiseError = own(xcb_request_check(
        xcb, xcb_configure_window_checked(xcb, windowId, XCB_CONFIG_WINDOW_STACK_MODE, &above)));
    if (raiseError) return false;
    // Focus can fail for a window that is not viewable; it is raised all the same.
    std::free(xcb_request_check(xcb, xcb_set_input_focus_checked(xcb, XCB_INPUT_FOCUS_POINTER_ROOT,
                                                                 windowId, XCB_CURRENT_TIME)));
    return true;
}

}  // namespace brimwick
