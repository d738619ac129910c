#include "mascot/qt/hex_mark.h"

#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {

HexMark::HexMark(const Clock& clock, QWidget* parent) : QWidget(parent), clock_(clock) {
    setAttribute(Qt::WA_TranslucentBackground);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void HexMark::setSession(const AgentSession& session) {
    session_ = session;
    updateTimer();
    update();
}

double HexMark::frameInterval() const {
    const QScreen* display = screen();
    const double refresh = display && display->refreshRate() > 1 ? display->refreshRate() : 60.0;
    const double interval = 1.0 / refresh;
    const bool calm = session_.state == BotState::idle || session_.state == BotState::sleeping;
    return calm ? std::max(interval, 1.0 / 30) : interval;
}

void HexMark::updateTimer() {
    if (!isVisible()) {
        timer_.stop();
        return;
    }
    const int milliseconds = std::max(1, static_cast<int>(std::lround(frameInterval() * 1000)));
    if (timer_.interval() != milliseconds || !timer_.isActive()) timer_.start(milliseconds);
}

void HexMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    HexRenderer::draw(painter, QSizeF(size()), session_, clock_.now());
}

void HexMark::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTimer();
}

void HexMark::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

}  // namespace brimwick
