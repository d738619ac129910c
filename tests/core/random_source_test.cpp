#include "core/random_source.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace brimwick {
namespace {

TEST(RandomSourceTest, UniformsFillTheUnitIntervalAndUuidsAreVersion4AndDistinct) {
    SystemRandomSource random;
    double low = 1, high = 0;
    for (int i = 0; i < 10000; ++i) {
        const double value = random.uniform01();
        ASSERT_TRUE(value >= 0.0 && value < 1.0) << value;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_TRUE(low < 0.01 && high > 0.99);
    const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(std::regex_match(*seen.insert(random.uuidString()).first, shape));
    }
    EXPECT_EQ(seen.size(), 1000u);
    // Formatting forces the version and variant bits.
    EXPECT_EQ(formatUuidV4(0, 0), "00000000-0000-4000-8000-000000000000");
    EXPECT_EQ(formatUuidV4(~0ull, ~0ull), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
    EXPECT_EQ(formatUuidV4(0x0123456789ABCDEFull, 0xFEDCBA9876543210ull),
              "01234567-89AB-4DEF-BEDC-BA9876543210");
}

}  // namespace
}  // namespace brimwick
