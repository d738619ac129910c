// Pairing on its own: stored phones, the burn and pause rule, "just paired", and the codes.
#include "phone/pairing.h"

#include <gtest/gtest.h>

#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::MemoryPreferences;

class PairingTest : public ::testing::Test {
  protected:
    std::shared_ptr<Pairing> make() {
        return Pairing::create(queue, preferences, [this] { return std::to_string(++drawn); });
    }
    testing::ManualMainQueue queue;
    MemoryPreferences preferences;
    int drawn = 100'000;
};

TEST_F(PairingTest, StoredPhonesAreReadCleanedAndSortedOrIgnoredWhole) {
    const std::string token(64, 'a');
    preferences = MemoryPreferences({{"phoneDevices",
                                      {{token, "Pixel\u001b[31m\r\nForged" + std::string(100, 'x')},
                                       {std::string(65, 'b'), "Too long a token"},
                                       {"t2", "Zed"},
                                       {"t3", "Anna"}}}});
    const std::string cleaned = "Pixel[31m  Forged" + std::string(43, 'x');
    EXPECT_EQ(make()->deviceNames(), (std::vector<std::string>{"Anna", cleaned, "Zed"}));
    EXPECT_EQ(preferences.value("phoneDevices"),
              json({{token, cleaned}, {"t2", "Zed"}, {"t3", "Anna"}}));
    // One stored value of another type: nothing counts, and nothing is rewritten.
    preferences = MemoryPreferences({{"phoneDevices", {{"tokenA", "Pixel"}, {"tokenB", 7}}}});
    EXPECT_TRUE(make()->devices().empty());
    EXPECT_TRUE(preferences.writes().empty());
}

TEST_F(PairingTest, BurnsPauseOnTheFourthInARowAndAPairingClearsThem) {
    auto pairing = make();
    int closed = 0;
    pairing->closePairingWindow = [&] { ++closed; };
    pairing->issueCode();
    for (const char* fresh : {"100002", "100003", "100004", ""}) {
        EXPECT_FALSE(pairing->paused());
        pairing->codeBurned();
        EXPECT_EQ(pairing->code(), fresh);
    }
    EXPECT_EQ(pairing->burnedCodes(), 4);
    EXPECT_TRUE(pairing->paused());
    pairing->newCode();
    EXPECT_EQ(pairing->burnedCodes(), 0);
    EXPECT_EQ(pairing->code(), "100005");
    EXPECT_FALSE(pairing->paused());

    pairing->codeBurned();
    pairing->paired("tok1", "Galaxy S24", /*serving=*/true);
    EXPECT_EQ(preferences.value("phoneDevices"), json({{"tok1", "Galaxy S24"}}));
    EXPECT_EQ(pairing->burnedCodes(), 0);
    EXPECT_EQ(pairing->code(), "100007");
    EXPECT_EQ(pairing->justPaired(), "Galaxy S24");
    queue.advance(2.0);
    pairing->paired("tok2", "Pixel 9", true);  // a second pairing gets its full 2.2 s
    queue.advance(2.1);
    EXPECT_EQ(pairing->justPaired(), "Pixel 9");
    EXPECT_EQ(closed, 0);
    queue.advance(0.15);
    EXPECT_FALSE(pairing->justPaired());
    EXPECT_EQ(closed, 1);

    // A pairing that raced with switching off keeps the phone and issues nothing.
    pairing->paired("tok3", "Late", false);
    EXPECT_EQ(pairing->devices().size(), 3u);
    EXPECT_EQ(pairing->code(), "100008");
    EXPECT_FALSE(pairing->justPaired());
    // Forgetting writes only when there is something to forget.
    const auto writes = preferences.writes().size();
    pairing->forget();
    pairing->forget();
    EXPECT_TRUE(pairing->devices().empty());
    EXPECT_EQ(preferences.writes().size(), writes + 1);
    EXPECT_EQ(preferences.value("phoneDevices"), json::object());
}

TEST(PairingCodes, SixSecureDigitsShownInTwoGroups) {
    for (int i = 0; i < 200; ++i) {
        const auto code = Pairing::secureCode();
        ASSERT_TRUE(code && code->size() == 6 &&
                    code->find_first_not_of("0123456789") == std::string::npos);
    }
    EXPECT_EQ(Pairing::grouped("012345"), "012 345");
    EXPECT_EQ(Pairing::grouped("1234567"), "1234567");
    EXPECT_EQ(Pairing::grouped(""), "");
}

}  // namespace
}  // namespace brimwick
