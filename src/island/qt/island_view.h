// IslandView: the content of the island's panel. The black island grows out of the camera housing
// with the session ear on its left and the usage ear on its right; ears come and go on springs
// and report their frames to the shared IslandLayout; clicks on them reach the layout's callbacks.
#pragma once

#include <QPainterPath>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "core/clock.h"
#include "core/signal.h"
#include "island/animated_value.h"
#include "island/island_layout.h"
#include "island/island_outline.h"
#include "island/qt/ear_view.h"
#include "island/qt/usage_ear_view.h"

namespace brimwick {

class SessionStore;
class UsageStore;

// Main thread only. The stores, the layout and the clock must outlive the view. Frames are
// painted only while something moves: springs, transitions or a mascot (every display frame,
// at most 30 a second for calm mascots; a settled or resting mascot wakes no timer, and while
// only mascots move only their corner is repainted, from kept masks); with no ear shown no
// timer runs at all, apart from the 30-second countdown refresh while the usage ear is up.
class IslandView : public QWidget {
    Q_OBJECT

  public:
    static constexpr Spring kIslandSpring{0.42, 0.78};
    static constexpr Spring kEarSpring{0.45, 0.75};

    IslandView(SessionStore& store, UsageStore& usage, IslandLayout& layout, const Clock& clock,
               bool reduceMotion, QWidget* parent = nullptr);

    // Follows the desktop's setting while running: pressed looks and the usage ring's reactions.
    void setReduceMotion(bool on);

    IslandEars ears() const { return ears_; }
    // The island's animated values: where they are heading.
    double leftReach() const { return leftReach_.target(); }
    double rightReach() const { return rightReach_.target(); }
    double middle() const { return middle_.target(); }

    // Whether frames are being painted, and how often (seconds; 0 when idle, longer than a
    // frame while a mascot rests until its next motion).
    bool isAnimating() const { return frameTimer_.isActive(); }
    double frameInterval() const;

    // Paints one frame of the island as it is at `now` (tests and benchmarks draw offscreen).
    void render(QPainter& painter, Instant now);

    const EarView& sessionEar() const { return sessionEar_; }
    const UsageEarView& usageEar() const { return usageEar_; }

    // The frame of each ear as drawn at `now` (before its transition effects), in the view.
    QRectF sessionEarRect(Instant now) const;
    QRectF usageEarRect(Instant now) const;

    // Re-reads the stores and the layout (done on every change they publish).
    void refresh();

    // What the island shows, for screen readers: each item's label and its frame in the view.
    struct SpokenItem {
        QString name;
        QRectF frame;
    };
    std::vector<SpokenItem> spokenItems() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Button { none, count, session, usage };
    struct Pressed {
        Button button = Button::none;
        EarView::Target target;
    };

    double h() const;
    double rowX(Instant now) const;
    Pressed buttonAt(QPointF point, Instant now) const;
    void setPressed(const Pressed& pressed, bool down, Instant now);
    void reportFrames(Instant now);
    void announceChanges();
    bool springsMoving(Instant now) const;
    void tick();
    void schedule();

    SessionStore& store_;
    UsageStore& usage_;
    IslandLayout& layout_;
    const Clock& clock_;

    IslandEars ears_;
    QStringList spokenNames_;
    EarView sessionEar_;
    UsageEarView usageEar_;
    AnimatedValue sessionPresence_{0, 0.001};
    AnimatedValue usagePresence_{0, 0.001};
    AnimatedValue rowMiddle_{0, 0.01};  // the bridge in the row's layout
    AnimatedValue leftReach_{0, 0.01};
    AnimatedValue middle_{0, 0.01};  // the bridge in the island's shape
    AnimatedValue rightReach_{0, 0.01};
    Pressed pressed_;

    struct IslandPath {
        IslandShapeInputs inputs;
        QRectF rect;
        QPainterPath path;
    };
    IslandPath islandPath_;  // the black island as last drawn

    QTimer frameTimer_;
    QTimer countdownTimer_;
    Subscription storeSubscription_;
    Subscription usageSubscription_;
    Subscription layoutSubscription_;
};

}  // namespace brimwick
