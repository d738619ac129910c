#include "island/qt/island_panel.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "island/qt/island_view.h"
#include "island/qt/x11_window.h"

namespace brimwick {
namespace {

QRect toQRect(const Rect& rect) {
    const int left = static_cast<int>(std::floor(rect.minX()));
    const int top = static_cast<int>(std::floor(rect.minY()));
    const int right = static_cast<int>(std::ceil(rect.maxX()));
    const int bottom = static_cast<int>(std::ceil(rect.maxY()));
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

IslandPanel::IslandPanel(SessionStore& store, UsageStore& usage,
                         std::function<void(const AgentSession&)> onTapSession,
                         std::function<void()> onTapCount, std::function<void()> onTapUsage,
                         const Clock& clock, bool reduceMotion)
    : layout_(IslandGeometry::current()), pointer_([] { return QPointF(QCursor::pos()); }) {
    if (onTapSession) layout_.onTapSession = std::move(onTapSession);
    if (onTapCount) layout_.onTapCount = std::move(onTapCount);
    if (onTapUsage) layout_.onTapUsage = std::move(onTapUsage);

    // A tool window above everything that the window manager leaves alone: no frame, no
    // shadow, never focused, not in task lists. Without focus a click is delivered straight
    // to the island, so the first click on an inactive panel already counts.
    panel_ = std::make_unique<QWidget>(
        nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                     Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
                     Qt::NoDropShadowWindowHint);
    panel_->setWindowTitle(QString::fromUtf8(kWindowTitle));
    panel_->setAttribute(Qt::WA_TranslucentBackground);
    panel_->setAttribute(Qt::WA_ShowWithoutActivating);
    panel_->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    panel_->setAttribute(Qt::WA_QuitOnClose, false);
    panel_->setFocusPolicy(Qt::NoFocus);

    root_ = new IslandView(store, usage, layout_, clock, reduceMotion, panel_.get());
    layout_.onFramesChanged = [this] { framesChanged(); };

    pointerPoll_.setInterval(static_cast<int>(std::lround(kPointerPollInterval * 1000)));
    connect(&pointerPoll_, &QTimer::timeout, this, &IslandPanel::trackPointer);

    // The native window exists before it is mapped, so its class and its (empty) input shape
    // are in place from the first frame.
    panel_->winId();
    setWindowClass(*panel_, kWindowClass);
    place();
    framesChanged();
    panel_->show();
    panel_->raise();

    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        schedulePlacement();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] { schedulePlacement(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { schedulePlacement(); });
}

void IslandPanel::setReduceMotion(bool on) {
    root_->setReduceMotion(on);
}

IslandPanel::~IslandPanel() {
    // The views go first: they hold the layout's subscriptions and call back into it.
    panel_.reset();
}

void IslandPanel::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { schedulePlacement(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { schedulePlacement(); });
}

void IslandPanel::schedulePlacement() {
    // Screen signals can come in bursts and from inside the toolkit's own screen handling;
    // place once, afterwards, from the event loop.
    if (placementPending_) return;
    placementPending_ = true;
    QTimer::singleShot(0, this, [this] {
        placementPending_ = false;
        place();
    });
}

void IslandPanel::place() {
    const IslandGeometry geometry = IslandGeometry::current();
    const QRect frame = toQRect(panelFrame(geometry));
    panel_->setGeometry(frame);
    root_->setGeometry(0, 0, frame.width(), frame.height());
    layout_.setGeometry(geometry);
    trackPointer();
}

void IslandPanel::framesChanged() {
    std::vector<QRect> region;
    for (const Rect& frame : {layout_.sessionsFrame, layout_.usageFrame}) {
        if (frame.width > 0) region.push_back(toQRect(frame));
    }
    if (region != inputRegion_ || inputRegion_.empty()) {
        inputRegion_ = region;
        setInputRegion(*panel_, inputRegion_);
    }
    const bool earShown = !inputRegion_.empty();
    if (earShown && !pointerPoll_.isActive()) pointerPoll_.start();
    if (!earShown) pointerPoll_.stop();
    trackPointer();
}

void IslandPanel::trackPointer() {
    const QPointF pointer = pointer_();
    const QRect window = panel_->geometry();
    const Rect panel{double(window.x()), double(window.y()), double(window.width()),
                     double(window.height())};
    const EarHits hits =
        hitEars(panel, layout_.sessionsFrame, layout_.usageFrame, pointer.x(), pointer.y());
    clickThrough_ = !hits.any();
    layout_.setHovering(hits.session, hits.usage);
}

QPoint IslandPanel::menuAnchor(const Rect& earFrame) const {
    const QRect window = panel_->geometry();
    return QPoint(window.x() + static_cast<int>(std::lround(earFrame.minX())),
                  window.y() + static_cast<int>(std::lround(earFrame.maxY())));
}

void IslandPanel::setPointerSource(std::function<QPointF()> source) {
    pointer_ = std::move(source);
    trackPointer();
}

}  // namespace brimwick
