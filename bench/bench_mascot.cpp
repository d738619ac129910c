// Time to draw one mascot frame at 64 × 64 (the island's size class), glow layer included,
// painted live and composed from kept masks (MascotSprites, warmed up over a whole cycle first),
// and one tray icon frame both ways. Runs offscreen.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "app/qt/tray_icon_frame_painter.h"
#include "app/qt/tray_icon_sprites.h"
#include "mascot/qt/hex_renderer.h"
#include "mascot/qt/mascot_sprites.h"

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

// Kept frames: the first pass over 90 s of motion (working's longest cycle) draws the masks.
void keptMascotFrame(benchmark::State& state, BotState botState) {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    brimwick::MascotSprites sprites;
    const auto frame = [&](double t) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        sprites.drawFrame(painter, QSizeF(64, 64), botState, botState, t, 5);
    };
    for (double t = 1000; t < 1090; t += 1.0 / 60) frame(t);
    double t = 1000;
    for (auto _ : state) {
        frame(t);
        t += 1.0 / 60;
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["KiB"] = static_cast<double>(sprites.bytes()) / 1024;
}
BENCHMARK_CAPTURE(keptMascotFrame, idle, BotState::idle);
BENCHMARK_CAPTURE(keptMascotFrame, thinking, BotState::thinking);
BENCHMARK_CAPTURE(keptMascotFrame, working, BotState::working);
BENCHMARK_CAPTURE(keptMascotFrame, approval, BotState::approval);
BENCHMARK_CAPTURE(keptMascotFrame, question, BotState::question);

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

void keptIconFrame(benchmark::State& state) {
    brimwick::TrayIconSprites sprites;
    brimwick::TrayIconFrame frame{BotState::working, 5, 1000, 1};
    for (int i = 0; i < 30 * 30; ++i, frame.t += 1.0 / 30) sprites.image(frame, 18, 2, Qt::black);
    for (auto _ : state) {
        const QImage image = sprites.image(frame, 18, 2, Qt::black);
        frame.t += 1.0 / 15;
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(keptIconFrame);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
