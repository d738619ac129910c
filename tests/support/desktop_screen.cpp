#include "support/desktop_screen.h"

#include <cstdlib>
#include <set>

#include "support/child_process.h"

namespace brimwick::testing {

std::size_t Picture::distinctColours() const {
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

std::optional<Frame> Screen::topLevel(const std::string& title, int minimum) {
    for (const xcb_window_t window : stackingOrder()) {
        const auto found = name(window) == title ? frame(window) : std::nullopt;
        if (found && found->width >= minimum && found->height >= minimum) return found;
    }
    return std::nullopt;
}

std::optional<Frame> Screen::trayIcon() {
    for (const xcb_window_t top : stackingOrder()) {
        if (const auto found = embedded(top, 0)) return found;
    }
    return std::nullopt;
}

Picture Screen::grab(const Frame& area) {
    Picture picture;
    auto* reply = xcb_get_image_reply(connection(),
                                      xcb_get_image(connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, root(),
                                                    area.x, area.y, area.width, area.height, ~0u),
                                      nullptr);
    if (!reply) return picture;
    const auto length = static_cast<std::size_t>(xcb_get_image_data_length(reply));
    // A 24-bit screen keeps its pixels in 32 bits, blue first.
    if (reply->depth == 24 && length == std::size_t(area.width) * area.height * 4) {
        const std::uint8_t* data = xcb_get_image_data(reply);
        picture = {area.width, area.height, std::vector<std::uint32_t>(length / 4)};
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            picture.pixels[i] = data[4 * i + 2] << 16 | data[4 * i + 1] << 8 | data[4 * i];
        }
    }
    std::free(reply);
    return picture;
}

std::string Screen::windows() {
    std::string list;
    const auto order = stackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (const auto f = frame(*it)) {
            list += "\n  \"" + name(*it) + "\" " + std::to_string(f->width) + "x" +
                    std::to_string(f->height) + "+" + std::to_string(f->x) + "+" +
                    std::to_string(f->y);
        }
    }
    return list;
}

bool Screen::click(int x, int y) {
    const auto at = std::to_string(x) + " " + std::to_string(y);
    return runShell("xdotool mousemove " + at + " click 1", "", {{"DISPLAY", display_}}).status ==
           0;
}

bool Screen::keys(const std::string& names) {
    return runShell("xdotool key " + names, "", {{"DISPLAY", display_}}).status == 0;
}

std::string Screen::property(xcb_window_t window, const std::string& name) {
    auto* reply = xcb_get_property_reply(
        connection(),
        xcb_get_property(connection(), 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr);
    std::string value;
    if (reply && reply->format == 8) {
        value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    return value;
}

std::string Screen::name(xcb_window_t window) {
    const std::string utf8 = property(window, "_NET_WM_NAME");
    return utf8.empty() ? property(window, "WM_NAME") : utf8;
}

std::optional<Frame> Screen::frame(xcb_window_t window) {
    xcb_connection_t* c = connection();
    auto* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    auto* place = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, root(), 0, 0), nullptr);
    std::optional<Frame> result;
    if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry && place) {
        result = Frame{place->dst_x, place->dst_y, geometry->width, geometry->height};
    }
    std::free(attributes);
    std::free(geometry);
    std::free(place);
    return result;
}

std::optional<Frame> Screen::embedded(xcb_window_t window, int depth) {
    if (depth > 0 && property(window, "WM_CLASS") == std::string("brimwick\0Brimwick\0", 18)) {
        if (const auto found = frame(window)) return found;
    }
    auto* tree = depth > 4 ? nullptr
                           : xcb_query_tree_reply(connection(),
                                                  xcb_query_tree(connection(), window), nullptr);
    if (!tree) return std::nullopt;
    const std::vector<xcb_window_t> children(
        xcb_query_tree_children(tree),
        xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
    std::free(tree);
    for (const xcb_window_t child : children) {
        if (const auto found = embedded(child, depth + 1)) return found;
    }
    return std::nullopt;
}

}  // namespace brimwick::testing
