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
constexpr int kFrameMilliseconds = 33;  // 1/30 s

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
    const int pixels = static_cast<int>(std::ceil(kIconSide * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        drawMenuBarFrame(painter, QRectF(0, 0, kIconSide, kIconSide), frame,
                         trayInk(QGuiApplication::palette()));
    }
    image_ = image;
    tray_.setIcon(QIcon(QPixmap::fromImage(image_)));
    tray_.setToolTip(description());
}

bool TrayIcon::isMoving(Instant now) const {
    return trayIconMoving(state_, now, changedAt_, launchedAt_, reduceMotion_);
}

void TrayIcon::startTimer() {
    if (timer_ || !isMoving(clock_.now())) return;
    timer_ = std::make_unique<QTimer>();
    timer_->setTimerType(Qt::PreciseTimer);
    // The timer belongs to the icon, so the connection dies with it.
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { tick(); });
    timer_->start(kFrameMilliseconds);
}

void TrayIcon::tick() {
    render();
    if (!isMoving(clock_.now())) {
        stopTimer();
        render();
    }
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
