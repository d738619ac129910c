// IslandGeometry::current() on the screens Qt reports. Qt knows no camera housings, so every
// screen reports a safe-area inset of 0 and the rule for screens without a camera housing applies.
#include <QGuiApplication>
#include <QScreen>

#include "island/island_geometry.h"

namespace brimwick {

IslandGeometry IslandGeometry::current() {
    std::vector<ScreenMeasurements> screens;
    if (qGuiApp) {
        // The primary screen first: it is the one with the desktop's top panel.
        QList<QScreen*> list = QGuiApplication::screens();
        if (QScreen* primary = QGuiApplication::primaryScreen(); primary && !list.isEmpty()) {
            list.removeAll(primary);
            list.prepend(primary);
        }
        for (const QScreen* screen : list) {
            const QRect frame = screen->geometry();
            const QRect visible = screen->availableGeometry();
            ScreenMeasurements measured;
            measured.frame = {double(frame.x()), double(frame.y()), double(frame.width()),
                              double(frame.height())};
            measured.visibleFrame = {double(visible.x()), double(visible.y()),
                                     double(visible.width()), double(visible.height())};
            screens.push_back(measured);
        }
    }
    return measure(screens);
}

}  // namespace brimwick
