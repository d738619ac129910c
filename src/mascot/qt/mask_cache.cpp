#include "mascot/qt/mask_cache.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace brimwick {
namespace {

// x × a / 255 on all four 8-bit channels of x at once, rounded.
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = x + ((x >> 8) & 0xff00ff) + 0x800080;
    x &= 0xff00ff00;
    return x | t;
}

}  // namespace

Mask renderMask(const QRect& bounds, const std::function<void(QPainter&)>& paint) {
    if (bounds.isEmpty()) return {};
    QImage canvas(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.translate(-bounds.topLeft());
        paint(painter);
    }
    // The pixels touched: rows first, then columns within them.
    const int width = canvas.width(), height = canvas.height();
    int top = height, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (qAlpha(row[x]) == 0) continue;
            top = std::min(top, y);
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    if (bottom < 0) return {};
    QImage coverage(right - left + 1, bottom - top + 1, QImage::Format_Alpha8);
    for (int y = top; y <= bottom; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(canvas.constScanLine(y)) + left;
        uchar* out = coverage.scanLine(y - top);
        for (int x = 0; x <= right - left; ++x) out[x] = static_cast<uchar>(qAlpha(in[x]));
    }
    return {coverage, bounds.topLeft() + QPoint(left, top)};
}

void composeMasks(QImage& target, QPoint origin, std::span<const MaskLayer> layers) {
    Q_ASSERT(target.format() == QImage::Format_ARGB32_Premultiplied);
    const QRect area = target.rect();
    for (const MaskLayer& layer : layers) {
        const QImage& coverage = layer.mask.coverage;
        if (coverage.isNull()) continue;
        const int weight = static_cast<int>(std::lround(255 * std::clamp(layer.opacity, 0.0, 1.0)));
        if (weight == 0) continue;
        const std::uint32_t opaque = layer.color | 0xff000000u;
        const QPoint at = origin + layer.mask.offset;
        const QRect drawn = QRect(at, coverage.size()).intersected(area);
        for (int y = drawn.top(); y <= drawn.bottom(); ++y) {
            const uchar* in = coverage.constScanLine(y - at.y()) + (drawn.left() - at.x());
            auto* out = reinterpret_cast<std::uint32_t*>(target.scanLine(y)) + drawn.left();
            for (int x = 0; x < drawn.width(); ++x) {
                if (in[x] == 0) continue;
                const std::uint32_t a = (in[x] * static_cast<std::uint32_t>(weight) + 127) / 255;
                out[x] = byteMul(opaque, a) + byteMul(out[x], 255 - a);
            }
        }
    }
}

std::size_t MaskCache::KeyHash::operator()(const Key& key) const {
    std::size_t hash = 0;
    for (std::int32_t part : key) {
        hash ^= std::hash<std::int32_t>{}(part) + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2);
    }
    return hash;
}

Mask MaskCache::get(const Key& key, const std::function<Mask()>& make) {
    if (const auto found = index_.find(key); found != index_.end()) {
        entries_.splice(entries_.begin(), entries_, found->second);
        return found->second->mask;
    }
    Mask mask = make();
    ++made_;
    entries_.push_front({key, mask});
    index_.emplace(key, entries_.begin());
    bytes_ += mask.bytes();
    while (bytes_ > budget_ && entries_.size() > 1) {
        bytes_ -= entries_.back().mask.bytes();
        index_.erase(entries_.back().key);
        entries_.pop_back();
    }
    return mask;
}

void MaskCache::clear() {
    entries_.clear();
    index_.clear();
    bytes_ = 0;
}

}  // namespace brimwick
