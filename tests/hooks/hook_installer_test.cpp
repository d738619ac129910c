#include "hooks/hook_installer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kHookCommand =
    "curl -s -m 1 -H 'Content-Type: application/json' -H 'Expect:' -H \"X-Claude-PID: $PPID\" "
    "--data-binary @- http://127.0.0.1:47821/hook >/dev/null 2>&1 || true";
const std::string kPermissionCommand =
    "curl -s -m 120 -H 'Content-Type: application/json' -H 'Expect:' -H \"X-Claude-PID: $PPID\" "
    "--data-binary @- http://127.0.0.1:47821/permission 2>/dev/null || true";
const std::string kStopCommand =
    "curl -s -m 10 -H 'Content-Type: application/json' -H 'Expect:' -H \"X-Claude-PID: $PPID\" "
    "--data-binary @- http://127.0.0.1:47821/stop 2>/dev/null || true";

const std::vector<std::string> kEventOrder = {
    "SessionStart",       "SessionEnd",        "UserPromptSubmit", "PreToolUse", "PostToolUse",
    "PostToolUseFailure", "PermissionRequest", "Notification",     "PreCompact", "Stop",
    "StopFailure"};

// The shape of a real user's settings: other top-level keys and hooks of their own.
const char* kUserSettings = R"json({
  "env": {"ANTHROPIC_LOG": "debug", "PATH_HINT": "/opt/tools/bin"},
  "hooks": {
    "PostToolUse": [
      {"matcher": "Edit|Write",
       "hooks": [{"type": "command", "command": "prettier --write \"$CLAUDE_FILE_PATHS\""}]}
    ],
    "UserPromptSubmit": [
      {"hooks": [{"type": "command", "command": "~/bin/log-prompt.sh", "timeout": 5}]}
    ]
  },
  "model": "claude-opus-4-1",
  "permissions": {
    "allow": ["Bash(npm run test:*)", "Read(~/.zshrc)"],
    "deny": ["Bash(curl:*)"],
    "defaultMode": "acceptEdits"
  },
  "statusLine": {"type": "command", "command": "~/.claude/statusline.sh"},
  "greeting": "Grüße, 世界 🚀"
})json";

class HookInstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "brimwick-installer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(home_, ignored);
    }

    std::string settings() const { return hook_installer::settingsPath(home_); }
    std::string backup() const { return hook_installer::backupPath(home_); }
    std::string claudeDir() const { return home_ + "/.claude"; }

    void writeSettings(const std::string& text) const {
        fs::create_directories(claudeDir());
        std::ofstream(settings(), std::ios::binary) << text;
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    json settingsJson() const { return json::parse(contents(settings())); }

    // Names in .claude that aren't the settings file or its backup.
    std::vector<std::string> strayFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(claudeDir())) {
            const auto name = entry.path().filename().string();
            if (name != "settings.json" && name != "settings.json.brimwick-backup") {
                names.push_back(name);
            }
        }
        return names;
    }

    // The settings with our groups taken out, for comparing with what the user had.
    static json withoutOurGroups(json value) {
        if (!value.contains("hooks")) return value;
        auto& hooks = value["hooks"];
        for (auto it = hooks.begin(); it != hooks.end();) {
            auto cleaned = hook_installer::withoutOurs(&*it);
            if (cleaned->empty()) {
                it = hooks.erase(it);
            } else {
                *it = *cleaned;
                ++it;
            }
        }
        if (hooks.empty()) value.erase("hooks");
        return value;
    }

    std::string home_;
};

json ourHook(const std::string& command, int timeout = 3) {
    return json{{"type", "command"}, {"command", command}, {"timeout", timeout}};
}

TEST_F(HookInstallerTest, CommandTextsMatchCharacterForCharacter) {
    EXPECT_EQ(hook_installer::command("SessionStart"), kHookCommand);
    EXPECT_EQ(hook_installer::command("PreCompact"), kHookCommand);
    EXPECT_EQ(hook_installer::command("PermissionRequest"), kPermissionCommand);
    EXPECT_EQ(hook_installer::command("Stop"), kStopCommand);
    EXPECT_EQ(hook_installer::command("StopFailure"), kHookCommand);
    EXPECT_EQ(
        std::vector<std::string>(hook_installer::events.begin(), hook_installer::events.end()),
        kEventOrder);
    EXPECT_EQ(hook_installer::unreadable().message,
              "~/.claude/settings.json isn't valid JSON or has an unexpected hooks layout, so "
              "Brimwick left it alone. Fix the file and try again.");
}

TEST_F(HookInstallerTest, InstallAddsElevenEventsAndKeepsOtherKeys) {
    writeSettings(R"({"theme": "dark"})");
    auto installed = hook_installer::install(home_);
    ASSERT_TRUE(installed.ok()) << installed.error().message;
    EXPECT_EQ(installed->settingsPath, home_ + "/.claude/settings.json");
    EXPECT_TRUE(installed->backedUp);

    const json written = settingsJson();
    EXPECT_EQ(written["theme"], "dark");
    ASSERT_EQ(written["hooks"].size(), 11u);
    for (const auto& event : kEventOrder) {
        const json& groups = written["hooks"][event];
        ASSERT_EQ(groups.size(), 1u) << event;
        const bool tool = event == "PreToolUse" || event == "PostToolUse" ||
                          event == "PostToolUseFailure" || event == "PermissionRequest";
        json expected = {{"hooks", json::array({ourHook(hook_installer::command(event),
                                                        event == "PermissionRequest" ? 125
                                                        : event == "Stop"            ? 12
                                                                                     : 3)})}};
        if (tool) expected["matcher"] = "*";
        EXPECT_EQ(groups[0], expected) << event;
    }
    EXPECT_TRUE(hook_installer::isInstalled(home_));
    EXPECT_FALSE(hook_installer::isOutdated(home_));
}

TEST_F(HookInstallerTest, WrittenFileIsSortedPrettyAndKeepsSlashesAndText) {
    writeSettings(R"({"zeta": "a/b", "alpha": "Grüße 世界 🚀", "mid": {"y": 1, "x": 2}})");
    ASSERT_TRUE(hook_installer::install(home_).ok());
    const std::string text = contents(settings());
    EXPECT_NE(text.find("\"alpha\": \"Grüße 世界 🚀\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"zeta\": \"a/b\""), std::string::npos);
    EXPECT_EQ(text.find("\\/"), std::string::npos);
    EXPECT_EQ(text.find("\\u"), std::string::npos);
    EXPECT_LT(text.find("\"alpha\""), text.find("\"hooks\""));
    EXPECT_LT(text.find("\"hooks\""), text.find("\"mid\""));
    EXPECT_LT(text.find("\"x\""), text.find("\"y\""));
    EXPECT_NE(text.find("\n  \"alpha\""), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(HookInstallerTest, ForeignGroupsStayFirstAndMixedGroupsLoseOnlyOurHook) {
    writeSettings(json{
        {"hooks",
         {{"PreToolUse",
           {{{"matcher", "Bash"}, {"hooks", {{{"type", "command"}, {"command", "./guard.sh"}}}}}}},
          {"Stop",
           {{{"matcher", "x"},
             {"note", "mine"},
             {"hooks",
              {{{"type", "command"}, {"command", "say done"}},
               ourHook("curl http://127.0.0.1:47821/stop", 9)}}}}}}}}
                      .dump());
    ASSERT_TRUE(hook_installer::install(home_).ok());
    const json hooks = settingsJson()["hooks"];

    ASSERT_EQ(hooks["PreToolUse"].size(), 2u);
    EXPECT_EQ(hooks["PreToolUse"][0]["matcher"], "Bash");
    EXPECT_EQ(hooks["PreToolUse"][1]["matcher"], "*");
    EXPECT_EQ(hooks["PreToolUse"][1]["hooks"][0]["command"], kHookCommand);

    ASSERT_EQ(hooks["Stop"].size(), 2u);
    EXPECT_EQ(hooks["Stop"][0],
              (json{{"matcher", "x"},
                    {"note", "mine"},
                    {"hooks", {{{"type", "command"}, {"command", "say done"}}}}}));
    EXPECT_EQ(hooks["Stop"][1]["hooks"][0]["command"], kStopCommand);
}

TEST_F(HookInstallerTest, EarlierVersionCommandsAreRecognisedAndReplaced) {
    writeSettings(json{{"hooks",
                        {{"PreToolUse",
                          {{{"matcher", "*"},
                            {"hooks", {ourHook("curl -m 2 http://127.0.0.1:47821/hook -d @-")}}}}},
                         {"Stop", {{{"hooks", {ourHook("curl 127.0.0.1:47821/stop", 30)}}}}}}}}
                      .dump());
    EXPECT_TRUE(hook_installer::isInstalled(home_));
    EXPECT_TRUE(hook_installer::isOutdated(home_));

    ASSERT_TRUE(hook_installer::install(home_).ok());
    const json hooks = settingsJson()["hooks"];
    ASSERT_EQ(hooks["PreToolUse"].size(), 1u);
    EXPECT_EQ(hooks["PreToolUse"][0]["hooks"][0]["command"], kHookCommand);
    ASSERT_EQ(hooks["Stop"].size(), 1u);
    EXPECT_EQ(hooks["Stop"][0]["hooks"][0], ourHook(kStopCommand, 12));
    EXPECT_FALSE(hook_installer::isOutdated(home_));

    const std::string once = contents(settings());
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(contents(settings()), once);
    EXPECT_EQ(contents(backup()), once);  // the backup is the file before the latest write
}

TEST_F(HookInstallerTest, UserHookInsideOurGroupCountsAsOutdated) {
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_FALSE(hook_installer::isOutdated(home_));
    json value = settingsJson();
    value["hooks"]["Stop"][0]["hooks"].push_back({{"type", "command"}, {"command", "say hi"}});
    writeSettings(value.dump());
    EXPECT_TRUE(hook_installer::isOutdated(home_));

    ASSERT_TRUE(hook_installer::install(home_).ok());
    const json stop = settingsJson()["hooks"]["Stop"];
    ASSERT_EQ(stop.size(), 2u);
    EXPECT_EQ(stop[0]["hooks"], json::array({{{"type", "command"}, {"command", "say hi"}}}));
    EXPECT_FALSE(hook_installer::isOutdated(home_));
}

TEST_F(HookInstallerTest, InstallClearsOurEntriesUnderEventsItNoLongerWrites) {
    writeSettings(
        json{{"hooks",
              {{"Custom",
                {{{"hooks", {ourHook("curl 127.0.0.1:47821/permission"), ourHook("say hi")}}},
                 {{"hooks", {ourHook("curl 127.0.0.1:47821/hook")}}}}},
               {"Retired", {{{"hooks", {ourHook("curl 127.0.0.1:47821/hook")}}}}},
               {"Empty", json::array()}}}}
            .dump());
    EXPECT_TRUE(hook_installer::isOutdated(home_));
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_FALSE(hook_installer::isOutdated(home_));
    const json hooks = settingsJson()["hooks"];
    EXPECT_EQ(hooks["Custom"], json::array({{{"hooks", {ourHook("say hi")}}}}));
    EXPECT_FALSE(hooks.contains("Retired"));
    EXPECT_EQ(hooks["Empty"], json::array());  // nothing of ours: left exactly as it was
}

TEST_F(HookInstallerTest, UninstallRemovesHooksKeyWhenOnlyOursWereThere) {
    writeSettings(R"({"model": "sonnet"})");
    ASSERT_TRUE(hook_installer::install(home_).ok());
    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_EQ(settingsJson(), json({{"model", "sonnet"}}));
    EXPECT_FALSE(hook_installer::isInstalled(home_));
    EXPECT_FALSE(hook_installer::isOutdated(home_));
}

TEST_F(HookInstallerTest, UninstallWithNothingOfOursWritesNothing) {
    for (const std::string text :
         {R"({"model": "sonnet"})", R"({"hooks": {"Stop": [{"hooks": [{"command": "x"}]}]}})",
          R"({"hooks": "odd"})", ""}) {
        writeSettings(text);
        fs::remove(backup());
        struct stat before = {};
        ASSERT_EQ(::stat(settings().c_str(), &before), 0);
        ASSERT_TRUE(hook_installer::uninstall(home_).ok()) << text;
        struct stat after = {};
        ASSERT_EQ(::stat(settings().c_str(), &after), 0);
        EXPECT_EQ(before.st_ino, after.st_ino) << text;
        EXPECT_EQ(contents(settings()), text);
        EXPECT_FALSE(fs::exists(backup())) << text;
    }
    fs::remove(settings());
    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_FALSE(fs::exists(settings()));
}

TEST_F(HookInstallerTest, UninstallCleansEveryKeyAndSkipsOddValues) {
    writeSettings(json{{"hooks",
                        {{"Custom", {{{"hooks", {ourHook("curl 127.0.0.1:47821/hook")}}}}},
                         {"Stop", "not a list"},
                         {"PreToolUse", {{{"matcher", "Bash"}, {"hooks", {ourHook("mine")}}}}}}}}
                      .dump());
    EXPECT_EQ(hook_installer::install(home_).error().code, "unreadable");
    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_EQ(settingsJson(),
              (json{{"hooks",
                     {{"Stop", "not a list"},
                      {"PreToolUse", {{{"matcher", "Bash"}, {"hooks", {ourHook("mine")}}}}}}}}));
}

TEST_F(HookInstallerTest, EmptyFileMissingFileAndOddHooksValueAreStartingPoints) {
    writeSettings("");
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(settingsJson()["hooks"].size(), 11u);
    EXPECT_EQ(contents(backup()), "");

    writeSettings(R"({"hooks": ["something"], "keep": true})");
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(settingsJson()["hooks"].size(), 11u);
    EXPECT_EQ(settingsJson()["keep"], true);

    fs::remove_all(claudeDir());
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(settingsJson()["hooks"].size(), 11u);
    EXPECT_FALSE(fs::exists(backup()));
}

TEST_F(HookInstallerTest, UnreadableLayoutsLeaveTheFileUntouched) {
    const std::vector<std::string> unreadable = {
        "{", "[1, 2]", "\"text\"", "null", "  \n", "{\"a\": 1} trailing",
        R"({"hooks": {"PreToolUse": "x"}})", R"({"hooks": {"Stop": [1]}})",
        R"({"hooks": {"Stop": null}})", R"({"hooks": {"Stop": {"hooks": []}}})",
        // Not UTF-8: Latin-1 and a stray continuation byte inside strings, a lone byte outside.
        "{\"name\": \"caf\xe9\"}", "{\"a\": \"\x80\"}", "\xff{}",
        // UTF-16 with its byte-order mark.
        std::string("\xff\xfe{\0}\0", 6)};
    for (const auto& text : unreadable) {
        writeSettings(text);
        fs::remove(backup());
        auto result = hook_installer::install(home_);
        ASSERT_FALSE(result.ok()) << text;
        EXPECT_EQ(result.error(), hook_installer::unreadable()) << text;
        EXPECT_EQ(contents(settings()), text);
        EXPECT_FALSE(fs::exists(backup())) << text;
        EXPECT_FALSE(hook_installer::isInstalled(home_));
        EXPECT_FALSE(hook_installer::isOutdated(home_));
    }
}

TEST_F(HookInstallerTest, HugeAndDeeplyNestedFilesAreUnreadableNotACrash) {
    const std::string huge = "{\"a\": \"" + std::string(hook_installer::kMaxFileBytes, 'x') + "\"}";
    const std::string deep = "{\"a\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    for (const auto* text : {&huge, &deep}) {
        writeSettings(*text);
        EXPECT_EQ(hook_installer::install(home_).error(), hook_installer::unreadable());
        EXPECT_EQ(hook_installer::uninstall(home_).error(), hook_installer::unreadable());
        EXPECT_FALSE(hook_installer::isInstalled(home_));
        EXPECT_EQ(fs::file_size(settings()), text->size());
    }
    // Moderate nesting, brackets inside strings and escaped quotes are fine.
    writeSettings("{\"a\": " + std::string(100, '[') + std::string(100, ']') +
                  R"(, "b": "[[[[\"{{{{", "c": "\\"})");
    EXPECT_TRUE(hook_installer::install(home_).ok());
}

TEST_F(HookInstallerTest, FileSystemProblemsAreReportedAsSuch) {
    // A directory where the file should be: a read error, not "unreadable", and no crash.
    fs::create_directories(settings());
    auto result = hook_installer::install(home_);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, "read");
    EXPECT_NE(result.error().message.find("Is a directory"), std::string::npos);
    EXPECT_FALSE(hook_installer::isInstalled(home_));
    fs::remove(settings());

    // A FIFO must not hang the read.
    ASSERT_EQ(::mkfifo(settings().c_str(), 0600), 0);
    EXPECT_EQ(hook_installer::install(home_).error().code, "read");
    fs::remove(settings());

    // ".claude" is a file: the folder can't be made.
    fs::remove_all(claudeDir());
    std::ofstream(claudeDir()) << "x";
    EXPECT_FALSE(hook_installer::install(home_).ok());
    fs::remove(claudeDir());

    // The backup can't be written: nothing is written at all.
    writeSettings(R"({"model": "opus"})");
    fs::create_directories(backup() + "/occupied");
    result = hook_installer::install(home_);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, "write");
    EXPECT_EQ(contents(settings()), R"({"model": "opus"})");
    EXPECT_TRUE(strayFiles().empty());

    // An empty directory in the backup's place is cleared, as a stale backup would be.
    fs::remove_all(backup());
    fs::create_directories(backup());
    EXPECT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(contents(backup()), R"({"model": "opus"})");
}

TEST_F(HookInstallerTest, SymbolicLinkStaysALinkAndBackupLandsBesideIt) {
    fs::create_directories(home_ + "/dotfiles");
    fs::create_directories(claudeDir());
    std::ofstream(home_ + "/dotfiles/claude.json") << R"({"model": "opus"})";
    fs::create_symlink("../dotfiles/claude.json", settings());

    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_TRUE(fs::is_symlink(settings()));
    EXPECT_EQ(fs::read_symlink(settings()), "../dotfiles/claude.json");
    EXPECT_EQ(json::parse(contents(home_ + "/dotfiles/claude.json"))["hooks"].size(), 11u);
    EXPECT_EQ(contents(backup()), R"({"model": "opus"})");
    EXPECT_FALSE(fs::exists(home_ + "/dotfiles/settings.json.brimwick-backup"));
    EXPECT_EQ(std::distance(fs::directory_iterator(home_ + "/dotfiles"), fs::directory_iterator()),
              1);

    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_TRUE(fs::is_symlink(settings()));
    EXPECT_EQ(json::parse(contents(home_ + "/dotfiles/claude.json")), json({{"model", "opus"}}));

    // A dangling link is written through, creating the file it names.
    fs::remove(home_ + "/dotfiles/claude.json");
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_TRUE(fs::is_symlink(settings()));
    EXPECT_TRUE(fs::is_regular_file(home_ + "/dotfiles/claude.json"));

    // A link loop is an error, not a hang.
    fs::remove(settings());
    fs::create_symlink("settings.json", settings());
    EXPECT_FALSE(hook_installer::install(home_).ok());
}

TEST_F(HookInstallerTest, PermissionBitsAreKeptForFileAndBackup) {
    writeSettings(R"({"env": {"TOKEN": "secret"}})");
    fs::permissions(settings(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(hook_installer::install(home_).ok());
    EXPECT_EQ(fs::status(settings()).permissions() & fs::perms::mask, fs::perms(0600));
    EXPECT_EQ(fs::status(backup()).permissions() & fs::perms::mask, fs::perms(0600));
    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_EQ(fs::status(settings()).permissions() & fs::perms::mask, fs::perms(0600));
}

TEST_F(HookInstallerTest, RealSettingsShapeRoundTripsApartFromOurGroups) {
    writeSettings(kUserSettings);
    const json original = json::parse(kUserSettings);

    ASSERT_TRUE(hook_installer::install(home_).ok());
    const json installed = settingsJson();
    EXPECT_EQ(withoutOurGroups(installed), original);
    EXPECT_EQ(installed["hooks"]["PostToolUse"][0], original["hooks"]["PostToolUse"][0]);
    EXPECT_EQ(installed["hooks"]["UserPromptSubmit"][0], original["hooks"]["UserPromptSubmit"][0]);
    EXPECT_EQ(json::parse(contents(backup())), original);

    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_EQ(settingsJson(), original);
    EXPECT_TRUE(strayFiles().empty());
}

TEST_F(HookInstallerTest, AbandonedTemporaryFilesAreClearedButLiveOnesKept) {
    writeSettings(R"({"model": "opus"})");
    std::ofstream(settings() + ".tmp-AbCdEf") << "{\"half";
    std::ofstream(backup() + ".tmp-Zz0123") << "{\"half";
    std::ofstream(settings() + ".tmp-user-file") << "not ours";
    // A write in progress in another process holds a lock on its temporary file.
    const std::string live = settings() + ".tmp-LIVE00";
    std::ofstream(live) << "{";
    const int fd = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    ASSERT_TRUE(hook_installer::install(home_).ok());
    auto stray = strayFiles();
    std::sort(stray.begin(), stray.end());
    EXPECT_EQ(stray, (std::vector<std::string>{"settings.json.tmp-LIVE00",
                                               "settings.json.tmp-user-file"}));
    ::close(fd);
    ASSERT_TRUE(hook_installer::uninstall(home_).ok());
    EXPECT_EQ(strayFiles(), std::vector<std::string>{"settings.json.tmp-user-file"});
}

// A kill at any moment of install or uninstall leaves a file that parses and holds every one of
// the user's keys, a backup that does too, and at most one temporary file per target.
TEST_F(HookInstallerTest, KillAtAnyMomentNeverLosesTheUsersSettings) {
    writeSettings(kUserSettings);
    const json original = json::parse(kUserSettings);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMicros(0, 3000);
    int killedMidWrite = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int round = 0;
    for (; round < 300 && std::chrono::steady_clock::now() < deadline; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                (void)hook_installer::install(home_);
                (void)hook_installer::uninstall(home_);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        auto loaded = hook_installer::load(home_);
        ASSERT_TRUE(loaded.ok()) << "round " << round << ": " << loaded.error().message;
        ASSERT_EQ(withoutOurGroups(*loaded), original) << "round " << round;
        if (fs::exists(backup())) {
            ASSERT_EQ(withoutOurGroups(json::parse(contents(backup()))), original) << round;
        }
        int settingsTemps = 0;
        int backupTemps = 0;
        for (const auto& name : strayFiles()) {
            if (name.starts_with("settings.json.tmp-")) ++settingsTemps;
            if (name.starts_with("settings.json.brimwick-backup.tmp-")) ++backupTemps;
        }
        ASSERT_LE(settingsTemps, 1) << round;
        ASSERT_LE(backupTemps, 1) << round;
        if (settingsTemps + backupTemps > 0) ++killedMidWrite;
    }
    EXPECT_GE(round, 100);
    // Most kills should land inside a write, or the test proves little.
    RecordProperty("killedMidWrite", killedMidWrite);
    EXPECT_GT(killedMidWrite, 0);
    ASSERT_TRUE(hook_installer::uninstall(home_).ok() && hook_installer::install(home_).ok());
    EXPECT_TRUE(strayFiles().empty());
}

}  // namespace
}  // namespace brimwick
