// Time to draw one mascot frame at 64 × 64 (the island's size class), glow layer included,
// and one menu-bar icon frame. Runs offscreen.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "app/qt/tray_icon_frame_painter.h"
#include "mascot/qt/hex_renderer.h"

namespace {

using brimwick::BotState;

void mascotFrame(benchmark::State& state, BotState botState) {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    double t = 1000;
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        brimwick::HexRenderer::drawFrame(painter, QSizeF(64, 64), botState, BotState::idle, t, 0.2);
        painter.end();
        t += 1.0 / 60;
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK_CAPTURE(mascotFrame, idle, BotState::idle);
BENCHMARK_CAPTURE(mascotFrame, thinking, BotState::thinking);
BENCHMARK_CAPTURE(mascotFrame, working, BotState::working);
BENCHMARK_CAPTURE(mascotFrame, approval, BotState::approval);
BENCHMARK_CAPTURE(mascotFrame, question, BotState::question);
BENCHMARK_CAPTURE(mascotFrame, finished, BotState::finished);

void iconFrame(benchmark::State& state) {
    QImage image(36, 36, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    brimwick::TrayIconFrame frame{BotState::working, 5, 1000, 1};
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        brimwick::drawMenuBarFrame(painter, QRectF(0, 0, 18, 18), frame, Qt::black);
        painter.end();
        frame.t += 1.0 / 30;
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(iconFrame);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
