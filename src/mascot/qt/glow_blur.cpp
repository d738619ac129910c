#include "mascot/qt/glow_blur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brimwick {
namespace {

// Box radii whose three passes together match a Gaussian of the given deviation.
std::array<int, 3> boxRadii(double sigma) {
    constexpr int n = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    const double m = std::round((12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) /
                                (-4.0 * lower - 4));
    std::array<int, 3> radii{};
    for (int i = 0; i < n; ++i) radii[i] = ((i < m ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass over one byte channel of `count` pixels: `src` is contiguous, `dst` pixels are
// `step` bytes apart. The window average uses a fixed-point reciprocal; divisions dominated.
void boxLine(const std::uint8_t* src, std::uint8_t* dst, int count, int step, int radius) {
    const std::uint32_t width = 2 * radius + 1;
    const std::uint32_t reciprocal = (65536 + width / 2) / width;
    std::uint32_t sum = 0;
    for (int i = 0; i <= radius && i < count; ++i) sum += src[i];
    for (int i = 0; i < count; ++i) {
        dst[static_cast<std::ptrdiff_t>(i) * step] = static_cast<std::uint8_t>(
            std::min<std::uint32_t>((sum * reciprocal + 32768) >> 16, 255));
        if (i + radius + 1 < count) sum += src[i + radius + 1];
        if (i - radius >= 0) sum -= src[i - radius];
    }
}

}  // namespace

void blurImage(QImage& image, double sigma) {
    if (image.isNull() || sigma < 0.5) return;
    if (image.format() != QImage::Format_Alpha8 &&
        image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const int channels = image.format() == QImage::Format_Alpha8 ? 1 : 4;
    const int w = image.width(), h = image.height();
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine());
    std::uint8_t* bits = image.bits();
    std::vector<std::uint8_t> line(static_cast<std::size_t>(std::max(w, h)));
    for (int radius : boxRadii(sigma)) {
        if (radius <= 0) continue;
        for (int c = 0; c < channels; ++c) {
            for (int y = 0; y < h; ++y) {
                std::uint8_t* row = bits + y * stride + c;
                for (int x = 0; x < w; ++x) line[x] = row[x * channels];
                boxLine(line.data(), row, w, channels, radius);
            }
            for (int x = 0; x < w; ++x) {
                std::uint8_t* column = bits + static_cast<std::ptrdiff_t>(x) * channels + c;
                for (int y = 0; y < h; ++y) line[y] = column[y * stride];
                boxLine(line.data(), column, h, static_cast<int>(stride), radius);
            }
        }
    }
}

}  // namespace brimwick
