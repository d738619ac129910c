#include "phone/qt/qr_code_image.h"

#include <algorithm>

namespace brimwick::qr_code {

std::optional<QImage> image(const std::string& text) {
    const auto modules = matrix(text);
    if (!modules) return std::nullopt;
    const int side = (modules->size + 2 * kQuietZone) * kPixelsPerModule;
    QImage out(side, side, QImage::Format_Grayscale8);
    if (out.isNull()) return std::nullopt;
    out.fill(255);
    for (int y = 0; y < modules->size; ++y) {
        for (int x = 0; x < modules->size; ++x) {
            if (!modules->isDark(x, y)) continue;
            const int left = (x + kQuietZone) * kPixelsPerModule;
            const int top = (y + kQuietZone) * kPixelsPerModule;
            for (int row = top; row < top + kPixelsPerModule; ++row) {
                std::fill_n(out.scanLine(row) + left, kPixelsPerModule, uchar(0));
            }
        }
    }
    return out;
}

}  // namespace brimwick::qr_code
