// repaint_floor: what the toolkit and the X server cost for a repaint like the island's when
// only its mascot moves, with no drawing of our own: a translucent always-on-top panel whose
// child repaints a 25 × 23 corner with one black rectangle, RATE times a second (60 by
// default). bench/island_cpu.sh runs it beside the island to show the floor under its figure.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

class Corner final : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), Qt::black);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rate = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    // Made like the island's panel (IslandPanel).
    QWidget panel(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    panel.setAttribute(Qt::WA_TranslucentBackground);
    panel.setGeometry(370, 0, 700, 24);
    Corner corner(&panel);
    corner.setAttribute(Qt::WA_TranslucentBackground);
    corner.setGeometry(0, 0, 700, 24);
    panel.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &corner,
                     [&corner] { corner.update(QRect(300, 0, 25, 23)); });
    timer.start(static_cast<int>(std::lround(1000.0 / rate)));
    return app.exec();
}
