// TrayIcon: the tray icon's picture, a small monochrome hexagon that mirrors the state of the
// most urgent session and animates only while something on it moves, at 10 to 30 frames a
// second (trayIconFrameInterval), and the tray host gets a new picture only when a pixel changed.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <memory>
#include <optional>

#include "app/qt/tray_icon_sprites.h"
#include "core/clock.h"
#include "sessions/bot_state.h"

class QObject;
class QPalette;
class QSystemTrayIcon;
class QTimer;

namespace brimwick {

// The icon's colour: the palette's window text colour, unless it would not stand out against
// the palette's window colour, then white on dark and black on light.
QColor trayInk(const QPalette& palette);

// Main thread only. `tray` and `clock` must outlive the icon; the icon sets the tray's picture
// and tool tip (the accessible description) and nothing else. The animation timer exists only
// while the icon moves and is owned by the icon, so it never fires for a destroyed icon.
class TrayIcon {
  public:
    // The intro starts at construction; as with the first state, the owner calls render() and
    // startTimer() once to play it. `devicePixelRatio` 0 takes the application's.
    TrayIcon(QSystemTrayIcon& tray, const Clock& clock, double devicePixelRatio = 0);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows `state` (none: no sessions). The same state again changes nothing, so a running
    // finished or error animation is not restarted.
    void show(std::optional<BotState> state);

    // Draws the frame for now and hands it to the tray when it differs from the last.
    void render();

    // Starts the frame timer when it is not running and the icon moves.
    void startTimer();

    // Whether a frame after `now` would differ from the last one.
    bool isMoving(Instant now) const;

    // The timer's action: a frame, and once nothing moves any more the timer goes and a final
    // still frame is drawn.
    void tick();

    // With reduce motion on, every state is drawn in its still form and nothing animates.
    void setReduceMotion(bool on);
    bool reduceMotion() const { return reduceMotion_; }

    std::optional<BotState> state() const { return state_; }
    Instant changedAt() const { return changedAt_; }
    Instant launchedAt() const { return launchedAt_; }
    bool isAnimating() const { return timer_ != nullptr; }
    const QImage& image() const { return image_; }
    QString description() const;
    // Pictures handed to the tray so far (each one a message to the tray host), and the
    // seconds between frames now (0 when not animating).
    int imagesSent() const { return imagesSent_; }
    double frameInterval() const;

  private:
    void stopTimer();
    int intervalMilliseconds() const;

    QSystemTrayIcon& tray_;
    const Clock& clock_;
    double devicePixelRatio_;
    std::optional<BotState> state_;
    Instant changedAt_;
    const Instant launchedAt_;
    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<QObject> paletteWatcher_;
    bool reduceMotion_ = false;
    QImage image_;
    int imagesSent_ = 0;
    TrayIconSprites sprites_;
};

}  // namespace brimwick
