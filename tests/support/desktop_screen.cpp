#include "support/desktop_screen.h"

#include <cstdlib>
#include <set>

namespace brimwick::testing {

namespace fs = std::filesystem;

std::size_t Picture::distinctColours() const {
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

std::size_t Picture::count(const std::function<bool(int r, int g, int b)>& which) const {
    std::size_t n = 0;
    for (const std::uint32_t p : pixels) n += which(p >> 16, (p >> 8) & 0xff, p & 0xff);
    return n;
}

Screen::Screen(std::string display) : display_(std::move(display)), x_(display_) {}

std::optional<Frame> Screen::topLevel(const std::string& title, int minimum) {
    for (const xcb_window_t window : x_.stackingOrder()) {
        if (name(window) != title) continue;
        const auto found = frame(window);
        if (found && found->width >= minimum && found->height >= minimum) return found;
    }
    return std::nullopt;
}

std::optional<Frame> Screen::trayIcon() {
    for (const xcb_window_t top : x_.stackingOrder()) {
        if (const auto found = embedded(top, 0)) return found;
    }
    return std::nullopt;
}

Picture Screen::grab(const Frame& area) {
    Picture picture;
    auto* reply = xcb_get_image_reply(
        x_.connection(),
        xcb_get_image(x_.connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, x_.root(),
                      static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y),
                      static_cast<std::uint16_t>(area.width),
                      static_cast<std::uint16_t>(area.height), ~0u),
        nullptr);
    if (!reply) return picture;
    const auto length = static_cast<std::size_t>(xcb_get_image_data_length(reply));
    const std::size_t expected = static_cast<std::size_t>(area.width) * area.height * 4;
    // A 24-bit screen keeps its pixels in 32 bits, blue first.
    if (reply->depth == 24 && length == expected) {
        const std::uint8_t* data = xcb_get_image_data(reply);
        picture.width = area.width;
        picture.height = area.height;
        picture.pixels.resize(expected / 4);
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            picture.pixels[i] = std::uint32_t(data[4 * i + 2]) << 16 |
                                std::uint32_t(data[4 * i + 1]) << 8 | data[4 * i];
        }
    }
    std::free(reply);
    return picture;
}

ShellResult Screen::run(const std::string& command) {
    return runShell(command, "", {{"DISPLAY", display_}});
}

bool Screen::shoot(const Frame& area, const fs::path& file) {
    return run("import -window root -crop " + std::to_string(area.width) + "x" +
               std::to_string(area.height) + "+" + std::to_string(area.x) + "+" +
               std::to_string(area.y) + " +repage '" + file.string() + "'")
               .status == 0;
}

std::string Screen::windows() {
    std::string list;
    const auto order = x_.stackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (const auto found = frame(*it)) {
            list += "\n  \"" + name(*it) + "\" " + std::to_string(found->width) + "x" +
                    std::to_string(found->height) + "+" + std::to_string(found->x) + "+" +
                    std::to_string(found->y);
        }
    }
    return list;
}

bool Screen::click(int x, int y) {
    return run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1")
               .status == 0;
}

bool Screen::keys(const std::string& names) {
    return run("xdotool key " + names).status == 0;
}

std::string Screen::property(xcb_window_t window, const std::string& name) {
    auto* reply = xcb_get_property_reply(x_.connection(),
                                         xcb_get_property(x_.connection(), 0, window, x_.atom(name),
                                                          XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
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
    xcb_connection_t* c = x_.connection();
    auto* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable) return std::nullopt;
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    auto* place = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, x_.root(), 0, 0), nullptr);
    std::optional<Frame> result;
    if (geometry && place) {
        result = Frame{place->dst_x, place->dst_y, geometry->width, geometry->height};
    }
    std::free(geometry);
    std::free(place);
    return result;
}

std::optional<Frame> Screen::embedded(xcb_window_t window, int depth) {
    if (depth > 0) {
        const std::string classes = property(window, "WM_CLASS");
        if (classes == std::string("brimwick\0Brimwick\0", 18)) {
            if (const auto found = frame(window)) return found;
        }
    }
    if (depth > 4) return std::nullopt;
    xcb_connection_t* c = x_.connection();
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree) return std::nullopt;
    std::vector<xcb_window_t> children(
        xcb_query_tree_children(tree),
        xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
    std::free(tree);
    for (const xcb_window_t child : children) {
        if (const auto found = embedded(child, depth + 1)) return found;
    }
    return std::nullopt;
}

}  // namespace brimwick::testing
