#include "app/qt/tray_icon.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cmath>
#include <functional>

#include "app/qt/tray_icon_frame_painter.h"
#include "app/tray_icon_frame.h"

namespace brimwick {
namespace {

constexpr double kIconSide = 18;

// Redraws the icon when the desktop's colours change (light and dark panels).
class PaletteWatcher final : public QObject {
  public:
    explicit PaletteWatcher(std::function<void()> onChange) : onChange_(std::move(onChange)) {
        if (qApp) qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) onChange_();
        return false;
    }

  private:
    std::function<void()> onChange_;
};

}  // namespace

QColor trayInk(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const bool darkPanel = palette.color(QPalette::Window).lightnessF() < 0.5;
    const bool lightText = text.lightnessF() >= 0.5;
    if (darkPanel == lightText) return text;
    return darkPanel ? QColor(Qt::white) : QColor(Qt::black);
}

TrayIcon::TrayIcon(QSystemTrayIcon& tray, const Clock& clock, double devicePixelRatio)
    : tray_(tray),
      clock_(clock),
      devicePixelRatio_(devicePixelRatio),
      changedAt_(clock.now()),
      launchedAt_(changedAt_) {
    paletteWatcher_ = std::make_unique<PaletteWatcher>([this] { render(); });
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show(std::optional<BotState> state) {
    if (state == state_) return;
    state_ = state;
    changedAt_ = clock_.now();
    render();
    startTimer();
}

QString TrayIcon::description() const {
    return QString::fromStdString(trayIconDescription(state_));
}

void TrayIcon::render() {
    const Instant now = clock_.now();
    const TrayIconFrame frame =
        trayIconFrameAt(state_, now, changedAt_, launchedAt_, reduceMotion_);
    double ratio = devicePixelRatio_;
    if (ratio <= 0) ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QColor ink = trayInk(QGuiApplication::palette());
    QImage image = sprites_.image(frame, kIconSide, ratio, ink);
    // Every picture handed over is a message carrying it to the tray host (on D-Bus hosts the
    // whole image), so one that looks the same is not sent.
    if (image_.isNull() || image != image_ ||
        image.devicePixelRatio() != image_.devicePixelRatio()) {
        image_ = std::move(image);
        tray_.setIcon(QIcon(QPixmap::fromImage(withRim(image_, ink))));
        ++imagesSent_;
    }
    const QString tip = description();
    if (tray_.toolTip() != tip) tray_.setToolTip(tip);
}

bool TrayIcon::isMoving(Instant now) const {
    return trayIconMoving(state_, now, changedAt_, launchedAt_, reduceMotion_);
}

double TrayIcon::frameInterval() const {
    return timer_ ? timer_->interval() / 1000.0 : 0;
}

void TrayIcon::startTimer() {
    if (timer_ || !isMoving(clock_.now())) return;
    timer_ = std::make_unique<QTimer>();
    timer_->setTimerType(Qt::PreciseTimer);
    // The timer belongs to the icon, so the connection dies with it.
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { tick(); });
    timer_->start(intervalMilliseconds());
}

void TrayIcon::tick() {
    render();
    if (!isMoving(clock_.now())) {
        stopTimer();
        render();
    } else if (timer_ && timer_->interval() != intervalMilliseconds()) {
        timer_->setInterval(intervalMilliseconds());
    }
}

int TrayIcon::intervalMilliseconds() const {
    const double seconds = trayIconFrameInterval(state_, clock_.now(), changedAt_, launchedAt_);
    return static_cast<int>(std::lround(seconds * 1000));
}

void TrayIcon::stopTimer() {
    if (!timer_) return;
    timer_->stop();
    // tick() runs inside the timer's own signal, so the timer is deleted once that returns.
    timer_.release()->deleteLater();
}

void TrayIcon::setReduceMotion(bool on) {
    if (on == reduceMotion_) return;
    reduceMotion_ = on;
    if (on) stopTimer();
    render();
    startTimer();
}

}  // namespace brimwick
