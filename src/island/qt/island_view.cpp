#include "island/qt/island_view.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "island/qt/island_accessibility.h"
#include "island/qt/island_painting.h"
#include "island/qt/island_shapes.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"

namespace brimwick {
namespace {

constexpr double kCountdownPeriod = 30.0;  // seconds between redraws of the countdown

// An ear's frame with room for what its hover and press effects and strokes add.
QRectF grown(const QRectF& ear) {
    const double margin = 0.2 * ear.height();
    return ear.adjusted(-margin, -margin, margin, margin);
}

}  // namespace

IslandView::IslandView(SessionStore& store, UsageStore& usage, IslandLayout& layout,
                       const Clock& clock, bool reduceMotion, QWidget* parent)
    : QWidget(parent),
      store_(store),
      usage_(usage),
      layout_(layout),
      clock_(clock),
      sessionEar_(reduceMotion),
      usageEar_(reduceMotion) {
    installIslandAccessibility();
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &IslandView::tick);
    countdownTimer_.setInterval(static_cast<int>(kCountdownPeriod * 1000));
    connect(&countdownTimer_, &QTimer::timeout, this, &IslandView::refresh);
    storeSubscription_ = store_.changed.connect([this](const SessionChange&) { refresh(); });
    usageSubscription_ = usage_.changed.connect([this] { refresh(); });
    layoutSubscription_ = layout_.changed.connect([this] { refresh(); });
    refresh();
}

double IslandView::h() const {
    return layout_.geometry().height;
}

double IslandView::rowX(Instant now) const {
    return islandRowX(width(), rowMiddle_.value(now));
}

QRectF IslandView::sessionEarRect(Instant now) const {
    const double w = sessionEar_.width(h(), islandFlare(layout_.geometry()));
    return {rowX(now) + kEarColumnWidth - w, 0, w, h()};
}

QRectF IslandView::usageEarRect(Instant now) const {
    const double w = usageEar_.width(h(), islandFlare(layout_.geometry()), now);
    return {rowX(now) + kEarColumnWidth + rowMiddle_.value(now), 0, w, h()};
}

std::vector<IslandView::SpokenItem> IslandView::spokenItems() const {
    const Instant now = clock_.now();
    std::vector<SpokenItem> items;
    if (ears_.session) {
        for (const auto& label : sessionEar_.spokenLabels()) {
            items.push_back({QString::fromStdString(label), sessionEarRect(now)});
        }
    }
    if (ears_.usage) {
        items.push_back({QString::fromStdString(usageEar_.accessibilityText()), usageEarRect(now)});
    }
    return items;
}

void IslandView::setReduceMotion(bool on) {
    sessionEar_.setReduceMotion(on);
    usageEar_.setReduceMotion(on);
}

void IslandView::refresh() {
    const Instant now = clock_.now();
    const IslandGeometry& geometry = layout_.geometry();
    const IslandEars ears =
        islandEars(!store_.sessions().empty(), usage_.enabled(), usage_.usage());
    if (ears.session != ears_.session) {
        sessionPresence_.animate(ears.session ? 1 : 0, now, kEarSpring);
    }
    if (ears.usage != ears_.usage) usagePresence_.animate(ears.usage ? 1 : 0, now, kEarSpring);
    ears_ = ears;
    // A leaving ear keeps showing what it showed last.
    if (ears.session) {
        sessionEar_.update(static_cast<int>(store_.sessions().size()),
                           store_.hiddenNeedsAttention(), store_.visible(), now);
    }
    if (ears.usage) usageEar_.update(*usage_.usage(), !usage_.problem().empty(), now);
    sessionEar_.setHovering(layout_.hoveringSessions(), now);
    usageEar_.setHovering(layout_.hoveringUsage(), now);
    const double middle = islandMiddle(geometry, ears);
    rowMiddle_.animate(middle, now, kEarSpring);
    middle_.animate(middle, now, kIslandSpring);
    reportFrames(now);
    if (!ears.usage) {
        countdownTimer_.stop();
    } else if (!countdownTimer_.isActive()) {
        countdownTimer_.start();
    }
    update();
    schedule();
    announceChanges();
}

void IslandView::announceChanges() {
    // Nothing to tell while no screen reader listens.
    if (!QAccessible::isActive()) return;
    QStringList names;
    for (const auto& item : spokenItems()) names << item.name;
    if (names == spokenNames_) return;
    spokenNames_ = names;
    QAccessibleEvent changed(this, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&changed);
}

void IslandView::reportFrames(Instant now) {
    const IslandGeometry& geometry = layout_.geometry();
    const double unit = geometry.height;
    const double flare = islandFlare(geometry);
    // Frames are where the ears settle, not where an animation has them now.
    const double middle = islandMiddle(geometry, ears_);
    const double row = islandRowX(width(), middle);
    Rect sessions;
    if (ears_.session) {
        const double w = sessionEar_.width(unit, flare);
        sessions = {row + kEarColumnWidth - w, 0, w, unit};
    }
    Rect usage;
    if (ears_.usage) {
        const double w = usageEar_.width(unit, flare, now);
        usage = {row + kEarColumnWidth + middle, 0, w, unit};
    }
    if (sessions != layout_.sessionsFrame) {
        layout_.sessionsFrame = sessions;
        auto callback = layout_.onFramesChanged;
        callback();
        leftReach_.animate(sessions.width, now, kIslandSpring);
    }
    if (usage != layout_.usageFrame) {
        layout_.usageFrame = usage;
        auto callback = layout_.onFramesChanged;
        callback();
        rightReach_.animate(usage.width, now, kIslandSpring);
    }
}

bool IslandView::springsMoving(Instant now) const {
    for (const AnimatedValue* value :
         {&sessionPresence_, &usagePresence_, &rowMiddle_, &leftReach_, &middle_, &rightReach_}) {
        if (value->isMoving(now)) return true;
    }
    return sessionEar_.isMoving(now) || usageEar_.isMoving(now);
}

double IslandView::frameInterval() const {
    const QScreen* display = screen();
    const double refresh = display && display->refreshRate() > 1 ? display->refreshRate() : 60.0;
    const double everyFrame = 1.0 / refresh;
    const Instant now = clock_.now();
    if (springsMoving(now)) return everyFrame;
    if (!ears_.session) return 0;
    // A mascot that has settled (finished, greeted) or rests between two shakes is not redrawn.
    const double still = sessionEar_.mascotsStillFor(now);
    if (std::isinf(still)) return 0;
    if (still > 0) return still;
    return sessionEar_.mascotsCalm() ? std::max(everyFrame, 1.0 / 30) : everyFrame;
}

void IslandView::schedule() {
    const double interval = frameInterval();
    if (interval <= 0) {
        frameTimer_.stop();
        return;
    }
    const int milliseconds = std::max(1, static_cast<int>(std::lround(interval * 1000)));
    if (frameTimer_.interval() != milliseconds || !frameTimer_.isActive()) {
        frameTimer_.start(milliseconds);
    }
}

void IslandView::tick() {
    const Instant now = clock_.now();
    if (springsMoving(now)) {
        update();
    } else {
        // Only the mascots move: repaint their corner of the ear, with room for their poses.
        update(sessionEar_.mascotArea(sessionEarRect(now), h(), now).toAlignedRect());
    }
    schedule();
}

void IslandView::render(QPainter& painter, Instant now) {
    sessionEar_.settle(now);
    const IslandGeometry& geometry = layout_.geometry();
    const double unit = geometry.height;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    const double row = rowX(now);
    const QRectF islandRect(row, 0, 2 * kEarColumnWidth + rowMiddle_.value(now), unit);
    const IslandShape island{{leftReach_.value(now), middle_.value(now), rightReach_.value(now),
                              kEarColumnWidth, islandFlare(geometry), 0.42 * unit}};
    // The outline changes only while the springs move: the frames in between reuse it.
    if (!(island.inputs == islandPath_.inputs && islandRect == islandPath_.rect)) {
        islandPath_ = {island.inputs, islandRect, island.path(islandRect)};
    }
    if (!islandPath_.path.isEmpty()) painter.fillPath(islandPath_.path, Qt::black);

    const double sessions = sessionPresence_.value(now);
    if (sessions > 0.002) {
        const QRectF ear = sessionEarRect(now);
        painter.save();
        applyEffect(painter, QPointF(ear.right(), ear.center().y()),
                    Effect{0.3 + 0.7 * sessions, sessions, 0});
        sessionEar_.paint(painter, ear, unit, now, !springsMoving(now));
        painter.restore();
    }
    const double usage = usagePresence_.value(now);
    if (usage > 0.002 && paintsOver(painter, grown(usageEarRect(now)))) {
        const QRectF ear = usageEarRect(now);
        painter.save();
        applyEffect(painter, QPointF(ear.left(), ear.center().y()),
                    Effect{0.3 + 0.7 * usage, usage, 0});
        usageEar_.paint(painter, ear, unit, now);
        painter.restore();
    }
    painter.restore();
}

void IslandView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Most frames repaint only the mascots' corner (tick): what lies outside is skipped.
    painter.setClipRect(event->rect());
    render(painter, clock_.now());
}

void IslandView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    reportFrames(clock_.now());
    schedule();
}

IslandView::Pressed IslandView::buttonAt(QPointF point, Instant now) const {
    if (ears_.session && sessionEarRect(now).contains(point)) {
        const EarView::Target target = sessionEar_.targetAt(point, sessionEarRect(now), h());
        switch (target.kind) {
            case EarView::Target::Kind::count:
                return {Button::count, target};
            case EarView::Target::Kind::session:
                return {Button::session, target};
            case EarView::Target::Kind::none:
                return {};
        }
    }
    if (ears_.usage && usageEarRect(now).contains(point)) return {Button::usage, {}};
    return {};
}

void IslandView::setPressed(const Pressed& pressed, bool down, Instant now) {
    if (pressed.button == Button::usage) {
        usageEar_.setPressed(down, now);
    } else if (pressed.button != Button::none) {
        sessionEar_.setPressed(pressed.target, down, now);
    }
}

void IslandView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Instant now = clock_.now();
    pressed_ = buttonAt(event->position(), now);
    setPressed(pressed_, true, now);
    schedule();
}

void IslandView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Instant now = clock_.now();
    const Pressed pressed = std::exchange(pressed_, {});
    setPressed(pressed, false, now);
    schedule();
    const Pressed released = buttonAt(event->position(), now);
    if (pressed.button == Button::none || released.button != pressed.button ||
        released.target.sessionId != pressed.target.sessionId) {
        return;
    }
    // Callbacks run last and on copies: they may change the stores or the layout.
    switch (pressed.button) {
        case Button::count: {
            auto tap = layout_.onTapCount;
            tap();
            break;
        }
        case Button::usage: {
            auto tap = layout_.onTapUsage;
            tap();
            break;
        }
        case Button::session: {
            std::optional<AgentSession> session = store_.session(pressed.target.sessionId);
            if (!session) session = sessionEar_.session(pressed.target.sessionId);
            if (session) {
                auto tap = layout_.onTapSession;
                tap(*session);
            }
            break;
        }
        case Button::none:
            break;
    }
}

}  // namespace brimwick
