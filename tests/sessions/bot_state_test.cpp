#include "sessions/bot_state.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(BotStateTest, RawValuesLabelsAndWhoNeedsYou) {
    const char* raw[] = {"greeting", "idle",     "thinking", "working", "searching",
                         "approval", "question", "finished", "error",   "sleeping"};
    const char* labels[] = {"Saying hi",       "Idle",          "Thinking",
                            "Working",         "Reading files", "Needs your approval",
                            "Waiting for you", "Done",          "Hit an error",
                            "Asleep"};
    ASSERT_EQ(kAllBotStates.size(), std::size(raw));
    for (std::size_t i = 0; i < kAllBotStates.size(); ++i) {
        const BotState state = kAllBotStates[i];
        EXPECT_EQ(static_cast<std::size_t>(state), i);
        EXPECT_EQ(rawValue(state), raw[i]);
        EXPECT_EQ(botStateFromRaw(raw[i]), state);
        EXPECT_EQ(label(state), labels[i]);
        EXPECT_EQ(needsYou(state), state == BotState::approval || state == BotState::question);
    }
    for (const char* text : {"Working", "working ", "", "Saying hi"}) {
        EXPECT_EQ(botStateFromRaw(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace brimwick
