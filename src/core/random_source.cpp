#include "core/random_source.h"

namespace brimwick {

SystemRandomSource::SystemRandomSource() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    engine_.seed(seed);
}

double SystemRandomSource::uniform01() {
    // The top 53 bits scaled down: exact, uniform, and strictly below 1 (the standard
    // distribution may round up to 1.0 for 64-bit engines).
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

std::string SystemRandomSource::uuidString() {
    const std::uint64_t high = engine_();
    return formatUuidV4(high, engine_());
}

std::string formatUuidV4(std::uint64_t high, std::uint64_t low) {
    high = (high & ~std::uint64_t{0xF000}) | 0x4000;                         // version 4
    low = (low & ~(std::uint64_t{0xC} << 60)) | (std::uint64_t{0x8} << 60);  // variant 10xx
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    auto put = [&](std::uint64_t word, int firstNibble, int count) {
        for (int i = 0; i < count; ++i) {
            const int shift = 60 - 4 * (firstNibble + i);
            out.push_back(kHex[(word >> shift) & 0xF]);
        }
    };
    put(high, 0, 8);
    out.push_back('-');
    put(high, 8, 4);
    out.push_back('-');
    put(high, 12, 4);
    out.push_back('-');
    put(low, 0, 4);
    out.push_back('-');
    put(low, 4, 12);
    return out;
}

}  // namespace brimwick
