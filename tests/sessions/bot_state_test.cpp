#include "sessions/bot_state.h"

#include <gtest/gtest.h>

#include <string>

namespace brimwick {
namespace {

TEST(BotStateTest, RawValuesRoundTripInDeclarationOrder) {
    const char* raw[] = {"greeting", "idle",     "thinking", "working", "searching",
                         "approval", "question", "finished", "error",   "sleeping"};
    ASSERT_EQ(kAllBotStates.size(), std::size(raw));
    for (std::size_t i = 0; i < kAllBotStates.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(kAllBotStates[i]), i);
        EXPECT_EQ(rawValue(kAllBotStates[i]), raw[i]);
        EXPECT_EQ(botStateFromRaw(raw[i]), kAllBotStates[i]);
    }
}

TEST(BotStateTest, ConversionFromTextIsExact) {
    EXPECT_EQ(botStateFromRaw("Working"), std::nullopt);
    EXPECT_EQ(botStateFromRaw("working "), std::nullopt);
    EXPECT_EQ(botStateFromRaw(""), std::nullopt);
    EXPECT_EQ(botStateFromRaw("Saying hi"), std::nullopt);
}

TEST(BotStateTest, LabelsAndWhoNeedsYou) {
    EXPECT_EQ(label(BotState::greeting), "Saying hi");
    EXPECT_EQ(label(BotState::idle), "Idle");
    EXPECT_EQ(label(BotState::thinking), "Thinking");
    EXPECT_EQ(label(BotState::working), "Working");
    EXPECT_EQ(label(BotState::searching), "Reading files");
    EXPECT_EQ(label(BotState::approval), "Needs your approval");
    EXPECT_EQ(label(BotState::question), "Waiting for you");
    EXPECT_EQ(label(BotState::finished), "Done");
    EXPECT_EQ(label(BotState::error), "Hit an error");
    EXPECT_EQ(label(BotState::sleeping), "Asleep");
    for (BotState state : kAllBotStates) {
        EXPECT_EQ(needsYou(state), state == BotState::approval || state == BotState::question)
            << rawValue(state);
    }
}

}  // namespace
}  // namespace brimwick
