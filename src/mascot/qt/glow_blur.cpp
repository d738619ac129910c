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

// One box pass over `count` pixels: `src` is contiguous, `dst` pixels are `stride` apart.
void boxLine(const std::uint32_t* src, std::uint32_t* dst, int count, int stride, int radius) {
    const int width = 2 * radius + 1;
    int sum[4] = {0, 0, 0, 0};
    auto add = [&](int index, int sign) {
        if (index < 0 || index >= count) return;
        const std::uint32_t pixel = src[index];
        for (int c = 0; c < 4; ++c) sum[c] += sign * static_cast<int>((pixel >> (8 * c)) & 0xff);
    };
    for (int i = -radius; i < radius; ++i) add(i, 1);
    for (int i = 0; i < count; ++i) {
        add(i + radius, 1);
        std::uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            out |= static_cast<std::uint32_t>((sum[c] + width / 2) / width) << (8 * c);
        }
        dst[i * stride] = out;
        add(i - radius, -1);
    }
}

}  // namespace

void blurImage(QImage& image, double sigma) {
    if (image.isNull() || sigma < 0.5) return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const int w = image.width(), h = image.height();
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* pixels = reinterpret_cast<std::uint32_t*>(image.bits());
    std::vector<std::uint32_t> scratch(static_cast<std::size_t>(std::max(w, h)));
    for (int radius : boxRadii(sigma)) {
        if (radius <= 0) continue;
        for (int y = 0; y < h; ++y) {
            std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
            std::copy(row, row + w, scratch.begin());
            boxLine(scratch.data(), row, w, 1, radius);
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                scratch[y] = pixels[static_cast<std::ptrdiff_t>(y) * stride + x];
            boxLine(scratch.data(), pixels + x, h, stride, radius);
        }
    }
}

}  // namespace brimwick
