#include "phone/pairing.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::MemoryPreferences;

class PairingTest : public ::testing::Test {
  protected:
    std::shared_ptr<Pairing> make() {
        return Pairing::create(queue, preferences, [this] {
            if (codes.empty()) return std::string("999999");
            auto next = codes.front();
            codes.pop_front();
            return next;
        });
    }
    int devicesWrites() const {
        int n = 0;
        for (const auto& [key, value] : preferences.writes()) n += key == "phoneDevices";
        return n;
    }

    testing::ManualMainQueue queue;
    MemoryPreferences preferences;
    std::deque<std::string> codes = {"123456", "234567", "345678", "456789", "567890"};
};

TEST_F(PairingTest, StoredPhonesAreReadCleanedAndSorted) {
    const std::string token(64, 'a');
    preferences =
        MemoryPreferences({{"phoneDevices",
                            {{token, "Pixel\u001b[31m\r\nForged line" + std::string(100, 'x')},
                             {std::string(65, 'b'), "Too long a token"},
                             {"t2", "Zed"},
                             {"t3", "Anna"}}}});
    auto pairing = make();
    const std::string cleaned = "Pixel[31m  Forged line" + std::string(38, 'x');
    EXPECT_EQ(pairing->deviceNames(), (std::vector<std::string>{"Anna", cleaned, "Zed"}));
    EXPECT_EQ(preferences.value("phoneDevices"),
              json({{token, cleaned}, {"t2", "Zed"}, {"t3", "Anna"}}));

    // One stored value of another type: nothing counts, and nothing is rewritten.
    preferences = MemoryPreferences({{"phoneDevices", {{"tokenA", "Pixel"}, {"tokenB", 7}}}});
    EXPECT_TRUE(make()->devices().empty());
    EXPECT_TRUE(preferences.writes().empty());
}

TEST_F(PairingTest, TheFourthBurnedCodeInARowPausesUntilANewCode) {
    auto pairing = make();
    pairing->issueCode();
    for (const char* fresh : {"234567", "345678", "456789"}) {
        pairing->codeBurned();
        EXPECT_EQ(pairing->code(), fresh);
        EXPECT_FALSE(pairing->paused());
    }
    pairing->codeBurned();
    EXPECT_EQ(pairing->burnedCodes(), 4);
    EXPECT_EQ(pairing->code(), "");
    EXPECT_TRUE(pairing->paused());
    pairing->newCode();
    EXPECT_EQ(pairing->burnedCodes(), 0);
    EXPECT_EQ(pairing->code(), "567890");
    EXPECT_FALSE(pairing->paused());
}

TEST_F(PairingTest, APairedPhoneIsRememberedAndJustPairedFor2point2Seconds) {
    auto pairing = make();
    int closed = 0;
    pairing->closePairingWindow = [&] { ++closed; };
    pairing->issueCode();
    pairing->codeBurned();
    pairing->paired("tok1", "Galaxy S24", /*serving=*/true);
    EXPECT_EQ(pairing->devices().at("tok1"), "Galaxy S24");
    EXPECT_EQ(preferences.value("phoneDevices"), json({{"tok1", "Galaxy S24"}}));
    EXPECT_EQ(pairing->burnedCodes(), 0);
    EXPECT_EQ(pairing->code(), "345678");
    EXPECT_EQ(pairing->justPaired(), "Galaxy S24");

    queue.advance(2.0);
    pairing->paired("tok2", "Pixel 9", true);  // a second pairing gets its full time
    queue.advance(2.1);
    EXPECT_EQ(pairing->justPaired(), "Pixel 9");
    EXPECT_EQ(closed, 0);
    queue.advance(0.15);
    EXPECT_FALSE(pairing->justPaired());
    EXPECT_EQ(closed, 1);

    // A pairing that raced with switching off keeps the phone and issues nothing.
    const auto code = pairing->code();
    pairing->paired("tok3", "Late", false);
    EXPECT_EQ(pairing->devices().size(), 3u);
    EXPECT_EQ(pairing->code(), code);
    EXPECT_FALSE(pairing->justPaired());
}

TEST_F(PairingTest, ForgettingWritesOnlyWhenThereIsSomethingToForget) {
    preferences.setValue("phoneDevices", {{"tok", "Pixel"}});
    auto pairing = make();
    pairing->forget();
    pairing->forget();
    EXPECT_TRUE(pairing->devices().empty());
    EXPECT_EQ(devicesWrites(), 2);  // the test's own and one forgetting
    EXPECT_EQ(preferences.value("phoneDevices"), json::object());
}

TEST_F(PairingTest, CodesAreSixSecureDigitsShownInTwoGroups) {
    for (int i = 0; i < 200; ++i) {
        const auto code = Pairing::secureCode();
        ASSERT_TRUE(code);
        ASSERT_EQ(code->size(), 6u) << *code;
        EXPECT_EQ(code->find_first_not_of("0123456789"), std::string::npos) << *code;
    }
    EXPECT_EQ(Pairing::grouped("012345"), "012 345");
    EXPECT_EQ(Pairing::grouped("1234567"), "1234567");
    EXPECT_EQ(Pairing::grouped(""), "");
}

}  // namespace
}  // namespace brimwick
