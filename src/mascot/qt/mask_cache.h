// MaskCache: the coverage of drawn parts of a picture kept between frames, so that animations
// whose parts repeat are composed from small masks instead of being painted again; shared by the
// island's mascot and the tray icon.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <span>
#include <unordered_map>

class QPainter;

namespace brimwick {

// A part of a picture drawn in one colour: how much of each device pixel it covers (Alpha8;
// null when it covers nothing) and where its top-left pixel sits relative to the picture's
// origin. The image is implicitly shared, so copies are cheap and outlive eviction.
struct Mask {
    QImage coverage;
    QPoint offset;

    // Its pixels and what keeping it takes besides (image header, list and index entries).
    std::size_t bytes() const {
        return static_cast<std::size_t>(coverage.sizeInBytes()) + kKeepingBytes;
    }

    static constexpr std::size_t kKeepingBytes = 256;
};

// Draws `paint` into a transparent device-pixel canvas `bounds` (relative to the picture's
// origin) and keeps the alpha of what it drew, cropped to the pixels it touched. `paint` gets a
// painter whose origin is the picture's origin in device pixels.
Mask renderMask(const QRect& bounds, const std::function<void(QPainter&)>& paint);

// One layer of a composed picture: a mask in an opaque colour, at an opacity.
struct MaskLayer {
    Mask mask;
    QRgb color = 0xff000000;
    double opacity = 1;
};

// Lays `layers`, in order, over `target` (premultiplied ARGB32) with the picture's origin at the
// device pixel `origin`, as painting them one after the other would (8-bit rounding aside).
void composeMasks(QImage& target, QPoint origin, std::span<const MaskLayer> layers);

// Masks by key; once they take more bytes than the budget, the least recently used go first.
// Main thread; plain value.
class MaskCache {
  public:
    using Key = std::array<std::int32_t, 4>;

    explicit MaskCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // The mask kept for `key`, made with `make` and kept when there is none.
    Mask get(const Key& key, const std::function<Mask()>& make);
    void clear();

    std::size_t bytes() const { return bytes_; }
    std::size_t count() const { return entries_.size(); }
    std::size_t budget() const { return budget_; }
    std::uint64_t made() const { return made_; }

  private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };
    struct Entry {
        Key key;
        Mask mask;
    };

    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::uint64_t made_ = 0;
    std::list<Entry> entries_;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index_;
};

}  // namespace brimwick
