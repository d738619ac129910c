// IslandPanel: the borderless, click-through, always-on-top panel at the top centre of
// the screen that holds the island, kept in place across screen changes, with the pointer
// tracking that lights up an ear under the pointer.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "core/clock.h"
#include "island/island_layout.h"

class QScreen;
class QWidget;

namespace brimwick {

class IslandView;
class SessionStore;
class UsageStore;

// One per run, main thread only, created once the GUI application exists; the stores and the
// clock must outlive it. The panel is shown at once. On X11 it takes clicks only over the two
// ears (the window's input shape follows their frames); everywhere else clicks reach the
// windows below. While an ear is shown the pointer is polled 30 times a second to keep the
// layout's hover flags current; they are published only when they change.
class IslandPanel : public QObject {
    Q_OBJECT

  public:
    static constexpr double kPointerPollInterval = 1.0 / 30;  // seconds
    static constexpr const char* kWindowTitle = "Brimwick island";
    static constexpr const char* kWindowClass = "brimwick";

    IslandPanel(SessionStore& store, UsageStore& usage,
                std::function<void(const AgentSession&)> onTapSession,
                std::function<void()> onTapCount, std::function<void()> onTapUsage,
                const Clock& clock, bool reduceMotion = false);
    ~IslandPanel() override;

    QWidget& panel() { return *panel_; }
    IslandLayout& layout() { return layout_; }
    IslandView& rootView() { return *root_; }

    void setReduceMotion(bool on);

    // Measures the screens again, moves and resizes the panel, then re-evaluates the pointer.
    void place();

    // Re-evaluates which ear the pointer is over, the hover flags and whether the panel takes
    // clicks at the pointer.
    void trackPointer();

    bool clickThrough() const { return clickThrough_; }
    bool isPollingPointer() const { return pointerPoll_.isActive(); }
    // The rectangles given to the window system as the panel's input shape (window coordinates).
    const std::vector<QRect>& inputRegion() const { return inputRegion_; }

    // Where to open a menu for an ear (desktop coordinates): under the ear's leading edge.
    QPoint menuAnchor(const Rect& earFrame) const;

    // Where the pointer is (desktop coordinates); the cursor by default. For tests.
    void setPointerSource(std::function<QPointF()> source);

  private:
    void framesChanged();
    void watchScreen(QScreen* screen);
    void schedulePlacement();

    IslandLayout layout_;
    std::unique_ptr<QWidget> panel_;
    IslandView* root_ = nullptr;  // owned by the panel
    std::function<QPointF()> pointer_;
    QTimer pointerPoll_;
    bool clickThrough_ = true;
    std::vector<QRect> inputRegion_;
    bool placementPending_ = false;
};

}  // namespace brimwick
