// Time to paint one frame of the island offscreen: a working session's ear alone and both ears
// with the usage ring, each whole, and the mascots' corner alone, which is what a display frame
// repaints while only a mascot moves.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "island/qt/island_fixture.h"
#include "island/qt/island_view.h"

namespace {

using namespace brimwick;

void islandFrame(benchmark::State& state, bool withUsage, bool corner) {
    testing::IslandFixture island;
    island.add("a", BotState::working);
    island.add("b", BotState::idle);
    if (withUsage) island.publish(testing::IslandFixture::figures(0.42, 0.3));
    IslandLayout layout(IslandGeometry::measure({ScreenMeasurements{
        {0, 0, 1440, 900}, {0, 32, 1440, 868}, 0, std::nullopt, std::nullopt}}));
    IslandView view(*island.store, *island.usage, layout, island.queue, false);
    const Rect panel = panelFrame(layout.geometry());
    view.resize(static_cast<int>(panel.width), static_cast<int>(panel.height));
    island.queue.advance(3);  // springs at rest
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    const QRectF area = view.sessionEar().mascotArea(view.sessionEarRect(island.queue.now()),
                                                     layout.geometry().height, island.queue.now());
    for (int i = 0; i < 60 * 90; ++i) {  // working's longest cycle: every mask drawn once
        QPainter painter(&image);
        view.render(painter, island.queue.now());
        island.queue.advance(1.0 / 60);
    }
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        if (corner) painter.setClipRect(area.toAlignedRect());
        view.render(painter, island.queue.now());
        painter.end();
        island.queue.advance(1.0 / 60);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK_CAPTURE(islandFrame, sessionEar, false, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(islandFrame, bothEars, true, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(islandFrame, mascotCorner, true, true)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
