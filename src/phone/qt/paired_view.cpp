#include "phone/qt/paired_view.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>
#include <algorithm>

#include "island/animated_value.h"
#include "mascot/qt/hex_renderer.h"
#include "mascot/qt/path_trim.h"
#include "phone/pair_content.h"
#include "phone/qt/pair_style.h"

namespace brimwick {

namespace {

constexpr double kPadding = 28;
constexpr double kSpacing = 18;
constexpr double kTextSpacing = 6;
constexpr double kTextDrop = 6;
constexpr double kHexCorner = 0.22;

}  // namespace

PairedView::PairedView(const Clock& clock, QWidget* parent) : QWidget(parent), clock_(clock) {
    setObjectName(QStringLiteral("paired"));
    entranceStart_ = clock_.now();
}

void PairedView::setDevice(const std::string& device) {
    if (device == device_) return;
    device_ = device;
    update();
}

void PairedView::restartEntrance() {
    entranceStart_ = clock_.now();
    if (timer_ == 0) timer_ = startTimer(16);
    update();
}

double PairedView::drawn() const {
    const double elapsed = clock_.now() - entranceStart_ - kEntranceDelay;
    return easeOutProgress(elapsed / kEntranceTime);
}

void PairedView::setPresentation(double opacity, double scale) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == opacity_ && scale == scale_) return;
    opacity_ = opacity;
    scale_ = scale;
    update();
}

void PairedView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return;
    update();
    if (drawn() >= 1) {
        killTimer(timer_);
        timer_ = 0;
    }
}

void PairedView::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0) return;
    const double p = drawn();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity_);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale_, scale_);
    painter.translate(-centre);

    const double textWidth = std::max(1.0, width() - 2 * kPadding);
    const QString title = QString::fromStdString(pair_text::connected(device_));
    const QString body = QString::fromUtf8(pair_text::kFollows);
    const QFont titleFont = pair_style::title3();
    const QFont bodyFont = pair_style::callout();
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QRectF titleBox =
        QFontMetricsF(titleFont).boundingRect(QRectF(0, 0, textWidth, 10000), flags, title);
    const QRectF bodyBox =
        QFontMetricsF(bodyFont).boundingRect(QRectF(0, 0, textWidth, 10000), flags, body);
    const double total =
        kBadgeSide + kSpacing + titleBox.height() + kTextSpacing + bodyBox.height();
    double top = (height() - total) / 2;

    // The badge: translucent hexagon, its outline, and the check mark drawn up to p.
    painter.save();
    const QPointF badgeCentre(centre.x(), top + kBadgeSide / 2);
    const double badgeScale = 0.9 + 0.1 * p;
    painter.translate(badgeCentre);
    painter.scale(badgeScale, badgeScale);
    painter.translate(-kBadgeSide / 2, -kBadgeSide / 2);
    const QColor mint = PairedView::mint();
    const double radius = kBadgeSide / 2;
    const QPainterPath hex =
        HexRenderer::hexPath(radius, kHexCorner * radius).translated(radius, radius);
    QColor fill = mint;
    fill.setAlphaF(0.16f);
    painter.fillPath(hex, fill);
    painter.strokePath(hex, QPen(mint, 4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    if (p > 0) {
        QPainterPath check(QPointF(34, 58));
        check.lineTo(50, 74);
        check.lineTo(80, 42);
        painter.strokePath(trimmedPath(check, 0, p),
                           QPen(mint, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    painter.restore();

    // The texts rise 6 points into place as they fade in.
    top += kBadgeSide + kSpacing + kTextDrop * (1 - p);
    painter.setOpacity(opacity_ * p);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(titleFont);
    painter.drawText(QRectF(kPadding, top, textWidth, titleBox.height()), flags, title);
    top += titleBox.height() + kTextSpacing;
    painter.setPen(pair_style::secondary(palette()));
    painter.setFont(bodyFont);
    painter.drawText(QRectF(kPadding, top, textWidth, bodyBox.height()), flags, body);
}

}  // namespace brimwick
