#include "phone/prompt_queue.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

AgentSession sessionOf(const std::string& id, const std::string& project, BotState state) {
    AgentSession session;
    session.id = id;
    session.project = project;
    session.state = state;
    return session;
}

TEST(PromptQueueTest, AQueuedPromptSaysWhenItLands) {
    PromptQueue queue;
    EXPECT_EQ(queue.queue("hi", std::nullopt),
              (Outcome{false, "That session has ended. Start a new one instead."}));
    EXPECT_TRUE(queue.queued().empty());
    for (BotState state : kAllBotStates) {
        std::string expected = "weather gets this when its current turn ends.";
        if (state == BotState::greeting || state == BotState::idle || state == BotState::finished ||
            state == BotState::sleeping) {
            expected = "weather is idle, so it gets this after its next turn on this computer.";
        } else if (state == BotState::question) {
            expected = "weather gets this once its question is answered.";
        }
        EXPECT_EQ(queue.queue("p", sessionOf("s1", "weather", state)), (Outcome{true, expected}))
            << rawValue(state);
    }
    EXPECT_EQ(queue.queued().at("s1").size(), kAllBotStates.size());
}

TEST(PromptQueueTest, HandOverJoinsInOrderAndPutBackGoesInFront) {
    PromptQueue queue;
    int changes = 0;
    auto subscription = queue.changed.connect([&] { ++changes; });
    const auto busy = sessionOf("s1", "weather", BotState::working);
    queue.queue("first", busy);
    queue.queue("second\nline", busy);
    queue.queue("elsewhere", sessionOf("s2", "notes", BotState::idle));

    const auto handed = queue.handOver("s1");
    EXPECT_EQ(handed, "first\n\nsecond\nline");
    EXPECT_EQ(queue.handOver("s1"), std::nullopt);
    queue.queue("third", busy);  // while the answer was on its way
    queue.putBack("s1", *handed);
    EXPECT_EQ(queue.handOver("s1"), "first\n\nsecond\nline\n\nthird");

    queue.drop("s2");
    queue.drop("s2");
    EXPECT_EQ(queue.handOver("s2"), std::nullopt);
    EXPECT_TRUE(queue.queued().empty());
    EXPECT_EQ(changes, 8);  // every change once, nothing for what changed nothing
}

}  // namespace
}  // namespace brimwick
