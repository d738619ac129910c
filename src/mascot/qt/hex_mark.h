// HexMark: a widget that shows one session's mascot and redraws it on the display's frame
// schedule, at most 30 times a second for the calm states (idle, sleeping).
#pragma once

#include <QTimer>
#include <QWidget>

#include "core/clock.h"
#include "sessions/agent_session.h"

namespace brimwick {

// Main thread only. `clock` gives the instant of every frame and must outlive the widget. The
// frame timer runs only while the widget is visible.
class HexMark : public QWidget {
    Q_OBJECT

  public:
    explicit HexMark(const Clock& clock, QWidget* parent = nullptr);

    void setSession(const AgentSession& session);
    const AgentSession& session() const { return session_; }

    // Seconds between frames: one display refresh, but never less than 1/30 s for idle and
    // sleeping mascots.
    double frameInterval() const;

    bool isAnimating() const { return timer_.isActive(); }

    QSize sizeHint() const override { return {64, 64}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void updateTimer();

    const Clock& clock_;
    AgentSession session_;
    QTimer timer_;
};

}  // namespace brimwick
