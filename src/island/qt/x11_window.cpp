#include "island/qt/x11_window.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <QGuiApplication>
#include <QWidget>
#include <cmath>

namespace brimwick {
namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

bool setInputRegion(QWidget& window, const std::vector<QRect>& rects) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return false;
    const double ratio = window.devicePixelRatioF();
    std::vector<xcb_rectangle_t> native;
    native.reserve(rects.size());
    for (const QRect& rect : rects) {
        if (rect.isEmpty()) continue;
        // Outward rounding: a fractional edge never loses its last pixel column.
        const int left = static_cast<int>(std::floor(rect.left() * ratio));
        const int top = static_cast<int>(std::floor(rect.top() * ratio));
        const int right = static_cast<int>(std::ceil((rect.left() + rect.width()) * ratio));
        const int bottom = static_cast<int>(std::ceil((rect.top() + rect.height()) * ratio));
        native.push_back({static_cast<int16_t>(left), static_cast<int16_t>(top),
                          static_cast<uint16_t>(right - left),
                          static_cast<uint16_t>(bottom - top)});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_UNSORTED, static_cast<xcb_window_t>(window.winId()), 0,
                         0, static_cast<uint32_t>(native.size()), native.data());
    xcb_flush(connection);
    return true;
}

bool setWindowClass(QWidget& window, const std::string& name) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return false;
    // Instance and class, each ending in a zero byte.
    std::string value = name + '\0' + name + '\0';
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<uint32_t>(value.size()), value.data());
    xcb_flush(connection);
    return true;
}

}  // namespace brimwick
