// X11 window details the toolkit doesn't cover: the input shape that makes parts of a window
// click-through, and the window's WM_CLASS.
#pragma once

#include <QRect>
#include <string>
#include <vector>

class QWidget;

namespace brimwick {

// Sets the region of the top-level `window` that takes pointer input to `rects` (window
// coordinates, logical pixels); clicks anywhere else go to whatever lies below. Drawing is not
// clipped. An empty list makes the whole window click-through. Creates the native window when
// needed. False (and nothing changes) when the application isn't on an X11 display.
bool setInputRegion(QWidget& window, const std::vector<QRect>& rects);

// Sets WM_CLASS of `window` to instance and class `name`, so window managers and tests can find
// it whatever the program is called. False when not on X11.
bool setWindowClass(QWidget& window, const std::string& name);

}  // namespace brimwick
