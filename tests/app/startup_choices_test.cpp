// What the process decides as it starts: its options, the display and the desktop module it
// loads, and whether the desktop asks for less motion.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app/desktop_module.h"
#include "app/display_choice.h"
#include "app/headless_options.h"
#include "app/headless_runner.h"
#include "app/reduce_motion.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

TEST(StartupChoicesTest, HeadlessOptionsAndTheSessionsLine) {
    EXPECT_EQ(parseHeadlessOptions({"--headless", "--demo", "2"})->demo, 2);
    EXPECT_EQ(parseHeadlessOptions({"--demo", "0"})->demo, 0);
    EXPECT_EQ(parseHeadlessOptions({"--demo", "100"})->demo, 100);
    EXPECT_TRUE(parseHeadlessOptions({"--help"})->help);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--demo"}, {"--demo", "-1"}, {"--demo", "101"}, {"--demo", "2x"}, {"--nope"}}) {
        const auto parsed = parseHeadlessOptions(bad);
        ASSERT_FALSE(parsed.ok()) << bad.back();
        EXPECT_EQ(parsed.error().code, "usage");
    }
    EXPECT_EQ(parseHeadlessOptions({"--demo", "x"}).error().message,
              "--demo needs a number of sessions from 0 to 100");

    EXPECT_EQ(sessionsLine({}), "sessions: none");
    AgentSession a, b;
    a.project = "weather";
    a.state = BotState::approval;
    b.project = "Claude";
    b.state = BotState::searching;
    EXPECT_EQ(sessionsLine({a, b}),
              "sessions: weather: Needs your approval, Claude: Reading files");
}

TEST(StartupChoicesTest, DisplayChoice) {
    std::vector<std::string> opened;
    const auto choose = [&](std::map<std::string, std::string> values, bool reachable = true) {
        opened.clear();
        return chooseDisplay(
            [&](const char* name) -> std::optional<std::string> {
                return values.count(name) ? std::optional(values.at(name)) : std::nullopt;
            },
            [&](const std::string& display) {
                opened.push_back(display);
                return reachable;
            });
    };
    // X11 and Wayland sessions both run on X.
    for (const auto& env : {std::map<std::string, std::string>{{"DISPLAY", ":0"}},
                            {{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}}) {
        const auto choice = choose(env);
        EXPECT_TRUE(choice.ok());
        EXPECT_EQ(choice.platform, "xcb");
        EXPECT_EQ(opened, std::vector<std::string>{":0"});
    }
    // No display points at the headless face.
    for (const auto& env : {std::map<std::string, std::string>{},
                            {{"DISPLAY", ""}},
                            {{"WAYLAND_DISPLAY", "wayland-0"}},
                            {{"QT_QPA_PLATFORM", "xcb"}}}) {
        const auto choice = choose(env);
        EXPECT_NE(choice.problem.find("DISPLAY is not set"), std::string::npos) << choice.problem;
        EXPECT_NE(choice.refusal().find("brimwick --headless"), std::string::npos);
        EXPECT_NE(choice.fallbackNotice().find("brimwick --desktop"), std::string::npos);
        EXPECT_EQ(choice.problem.find("Wayland") != std::string::npos,
                  env.count("WAYLAND_DISPLAY") > 0);
        EXPECT_TRUE(opened.empty());
    }
    // An unreachable display is said before the toolkit would abort.
    EXPECT_EQ(
        choose({{"DISPLAY", ":77"}}, false).refusal(),
        "brimwick: can't open the display :77; run \"brimwick --headless\" to follow sessions "
        "without a desktop");
    // Another platform chosen by hand is left alone.
    const auto offscreen = choose({{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_TRUE(offscreen.ok());
    EXPECT_FALSE(offscreen.platform);
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(canOpenX11Display(":4321"));
    EXPECT_FALSE(canOpenX11Display("not a display"));
}

TEST(StartupChoicesTest, DesktopModuleFromTheBuildTreeOrTheInstalledFolder) {
    EXPECT_EQ(desktopModuleCandidates("/usr/bin/brimwick", "../lib/x86_64-linux-gnu/brimwick"),
              (std::vector<fs::path>{"/usr/bin/brimwick-desktop.so",
                                     "/usr/lib/x86_64-linux-gnu/brimwick/brimwick-desktop.so"}));
    EXPECT_EQ(desktopModuleCandidates("/opt/b/bin/brimwick", "/opt/b/lib"),
              (std::vector<fs::path>{"/opt/b/bin/brimwick-desktop.so",
                                     "/opt/b/lib/brimwick-desktop.so"}));
    // An installation that puts the module beside the executable is looked at once.
    EXPECT_EQ(desktopModuleCandidates("/opt/b/brimwick", "."),
              (std::vector<fs::path>{"/opt/b/brimwick-desktop.so"}));

    const auto entry = loadDesktopModule({"/nonexistent/brimwick-desktop.so", ENTRY_MODULE});
    ASSERT_TRUE(entry) << entry.error().message;
    char name[] = "brimwick";
    char* argv[] = {name, nullptr};
    EXPECT_EQ((*entry)(1, argv), 41);
    EXPECT_EQ(loadDesktopModule({"/nonexistent/a.so", "/nonexistent/b.so"}).error().message,
              "The desktop module was not found (looked at /nonexistent/a.so, /nonexistent/b.so)");
    EXPECT_EQ(loadDesktopModule({NO_ENTRY_MODULE}).error().message,
              std::string(NO_ENTRY_MODULE) + " has no desktop entry");
    // A damaged file is reported with the loader's reason, not taken for a missing one.
    const fs::path damaged =
        fs::temp_directory_path() / ("brimwick-damaged-" + std::to_string(::getpid()) + ".so");
    std::ofstream(damaged) << "not a shared object";
    const auto broken = loadDesktopModule({damaged, ENTRY_MODULE});
    fs::remove(damaged);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().message.rfind("Could not load " + damaged.string() + ": ", 0), 0u);
}

TEST(StartupChoicesTest, EachDesktopCanAskForReducedMotion) {
    const std::pair<MotionSettings, bool> rows[] = {
        {{}, false},
        {{"1", {}, {}}, true},
        {{"0", {}, {}}, false},
        {{"", {}, {}}, false},
        {{{}, "false\n", {}}, true},
        {{{}, "true\n", {}}, false},
        {{{}, "", {}}, false},  // gsettings prints nothing on stdout without the schema
        {{{}, {}, "[KDE]\nAnimationDurationFactor=0\n"}, true},
        {{{}, {}, "[KDE]\nAnimationDurationFactor=0.5\n"}, false},
    };
    for (const auto& [settings, wanted] : rows) {
        EXPECT_EQ(reduceMotionWanted(settings), wanted)
            << settings.environment.value_or("-") << settings.gnomeAnimations.value_or("-")
            << settings.kdeGlobals.value_or("-");
    }
    const std::pair<const char*, std::optional<double>> factors[] = {
        {"[General]\nAnimationDurationFactor=0\n", std::nullopt},  // only its own group counts
        {"[General]\nfont=x\n\n[KDE]\n  AnimationDurationFactor = 0.25 \r\n[Icons]\nTheme=b", 0.25},
        {"[KDE]\nAnimationDurationFactor=\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactor=slow\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactor=nan\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactorX=0\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactor=1\nAnimationDurationFactor=0\n", 0.0},
        {"", std::nullopt},
    };
    for (const auto& [text, factor] : factors)
        EXPECT_EQ(kdeAnimationDurationFactor(text), factor) << text;
}

}  // namespace
}  // namespace brimwick
