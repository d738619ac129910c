#include "app/display_choice.h"

#include <gtest/gtest.h>

#include <map>

namespace brimwick {
namespace {

struct Env {
    explicit Env(std::map<std::string, std::string> v = {}, bool canReach = true)
        : values(std::move(v)), reachable(canReach) {}

    std::map<std::string, std::string> values;
    bool reachable;
    std::vector<std::string> opened;

    DisplayChoice choose() {
        return chooseDisplay(
            [this](const char* name) -> std::optional<std::string> {
                if (auto it = values.find(name); it != values.end()) return it->second;
                return std::nullopt;
            },
            [this](const std::string& display) {
                opened.push_back(display);
                return reachable;
            });
    }
};

TEST(DisplayChoiceTest, X11AndWaylandSessionsBothRunOnX) {
    Env x11{{{"DISPLAY", ":0"}}};
    EXPECT_EQ(x11.choose().platform, "xcb");
    EXPECT_EQ(x11.opened, std::vector<std::string>{":0"});

    Env wayland{{{"DISPLAY", ":1"}, {"WAYLAND_DISPLAY", "wayland-0"}}};
    const auto choice = wayland.choose();
    EXPECT_TRUE(choice.ok());
    EXPECT_EQ(choice.platform, "xcb");
}

TEST(DisplayChoiceTest, NoDisplayPointsAtTheHeadlessFace) {
    for (Env env : {Env{}, Env{{{"DISPLAY", ""}}}, Env{{{"WAYLAND_DISPLAY", "wayland-0"}}},
                    Env{{{"QT_QPA_PLATFORM", "xcb"}}}}) {
        const auto choice = env.choose();
        EXPECT_FALSE(choice.ok());
        EXPECT_NE(choice.problem.find("DISPLAY is not set"), std::string::npos) << choice.problem;
        EXPECT_NE(choice.refusal().find("brimwick --headless"), std::string::npos);
        EXPECT_NE(choice.fallbackNotice().find("brimwick --desktop"), std::string::npos);
        EXPECT_TRUE(env.opened.empty());
    }
    Env wayland{{{"WAYLAND_DISPLAY", "wayland-0"}}};
    EXPECT_NE(wayland.choose().problem.find("Wayland"), std::string::npos);
}

TEST(DisplayChoiceTest, UnreachableDisplayIsSaidBeforeTheToolkitWouldAbort) {
    Env env({{"DISPLAY", ":77"}}, false);
    const auto choice = env.choose();
    EXPECT_EQ(choice.refusal(),
              "brimwick: can't open the display :77; run \"brimwick --headless\" to follow "
              "sessions without a desktop");
    EXPECT_FALSE(choice.platform);
}

TEST(DisplayChoiceTest, AnotherPlatformChosenByHandIsLeftAlone) {
    Env env{{{"QT_QPA_PLATFORM", "offscreen"}}};
    const auto choice = env.choose();
    EXPECT_TRUE(choice.ok());
    EXPECT_FALSE(choice.platform);
    EXPECT_TRUE(env.opened.empty());
}

TEST(DisplayChoiceTest, NoServerAtANonsenseDisplay) {
    EXPECT_FALSE(canOpenX11Display(":4321"));
    EXPECT_FALSE(canOpenX11Display("not a display"));
}

}  // namespace
}  // namespace brimwick
