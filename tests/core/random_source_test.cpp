#include "core/random_source.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace brimwick {
namespace {

TEST(RandomSourceTest, UniformValuesStayBelowOne) {
    SystemRandomSource random;
    double low = 1, high = 0;
    for (int i = 0; i < 10000; ++i) {
        const double value = random.uniform01();
        ASSERT_GE(value, 0.0);
        ASSERT_LT(value, 1.0);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_LT(low, 0.01);
    EXPECT_GT(high, 0.99);
}

TEST(RandomSourceTest, UuidsAreUpperCaseVersion4AndDistinct) {
    SystemRandomSource random;
    const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string uuid = random.uuidString();
        ASSERT_TRUE(std::regex_match(uuid, shape)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(RandomSourceTest, FormattingForcesVersionAndVariantBits) {
    EXPECT_EQ(formatUuidV4(0, 0), "00000000-0000-4000-8000-000000000000");
    EXPECT_EQ(formatUuidV4(~0ull, ~0ull), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
    EXPECT_EQ(formatUuidV4(0x0123456789ABCDEFull, 0xFEDCBA9876543210ull),
              "01234567-89AB-4DEF-BEDC-BA9876543210");
}

}  // namespace
}  // namespace brimwick
