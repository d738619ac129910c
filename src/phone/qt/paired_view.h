// PairedView: the pairing window's short success view — a mint hexagon badge whose check mark
// draws itself, "<device> is connected" and a line on what the phone can now do.
#pragma once

#include <QColor>
#include <QWidget>
#include <string>

#include "core/clock.h"

namespace brimwick {

// GUI thread only. Paints itself; its entrance runs on `clock` (which must outlive the view),
// so a test can paint any instant of it. While the entrance moves the view repaints itself
// about 60 times a second.
class PairedView final : public QWidget {
  public:
    explicit PairedView(const Clock& clock, QWidget* parent = nullptr);

    void setDevice(const std::string& device);
    const std::string& device() const { return device_; }

    // Starts the entrance again from "not drawn": 0.08 s later the badge grows from 0.9, the
    // check mark draws itself and the text rises 6 points into place, ease-out over 0.45 s.
    void restartEntrance();
    // How far the entrance has come at the clock's current time: 0 … 1.
    double drawn() const;

    // The whole view's opacity and scale around its centre, set by the window's transition.
    void setPresentation(double opacity, double scale);

    static constexpr double kEntranceDelay = 0.08;
    static constexpr double kEntranceTime = 0.45;
    static constexpr double kBadgeSide = 114;
    static QColor mint() { return QColor::fromRgbF(0.5f, 0.9f, 0.68f); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    const Clock& clock_;
    std::string device_;
    Instant entranceStart_ = 0;
    double opacity_ = 1;
    double scale_ = 1;
    int timer_ = 0;
};

}  // namespace brimwick
