#include "app/headless_options.h"

#include <gtest/gtest.h>

#include "app/headless_runner.h"

namespace brimwick {
namespace {

TEST(HeadlessOptions, DemoCountIsBoundedAndNumeric) {
    EXPECT_EQ(parseHeadlessOptions({"--headless", "--demo", "2"})->demo, 2);
    EXPECT_EQ(parseHeadlessOptions({"--demo", "0"})->demo, 0);
    EXPECT_EQ(parseHeadlessOptions({"--demo", "100"})->demo, 100);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--demo"}, {"--demo", "-1"}, {"--demo", "101"}, {"--demo", "2x"}, {"--nope"}}) {
        const auto parsed = parseHeadlessOptions(bad);
        ASSERT_FALSE(parsed.ok()) << bad.back();
        EXPECT_EQ(parsed.error().code, "usage");
    }
    EXPECT_TRUE(parseHeadlessOptions({"--help"})->help);
}

TEST(SessionsLine, ListsProjectAndLabelInTheGivenOrder) {
    EXPECT_EQ(sessionsLine({}), "sessions: none");
    AgentSession a;
    a.project = "weather";
    a.state = BotState::approval;
    AgentSession b;
    b.project = "Claude";
    b.state = BotState::searching;
    EXPECT_EQ(sessionsLine({a, b}),
              "sessions: weather: Needs your approval, Claude: Reading files");
}

}  // namespace
}  // namespace brimwick
