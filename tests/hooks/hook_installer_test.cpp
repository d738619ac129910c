#include "hooks/hook_installer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "core/atomic_file.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
namespace installer = hook_installer;

std::string curl(int limit, const std::string& path, const std::string& output) {
    return "curl -s -m " + std::to_string(limit) +
           " -H 'Content-Type: application/json' -H 'Expect:' -H \"X-Claude-PID: $PPID\" "
           "--data-binary @- http://127.0.0.1:47821/" +
           path + output + " || true";
}
const std::string kHookCommand = curl(1, "hook", " >/dev/null 2>&1");
const std::string kStopCommand = curl(10, "stop", " 2>/dev/null");

// The shape of a real user's settings: other top-level keys and hooks of their own.
const char* kUserSettings = R"json({
  "env": {"ANTHROPIC_LOG": "debug", "PATH_HINT": "/opt/tools/bin"},
  "hooks": {
    "PostToolUse": [{"matcher": "Edit|Write",
       "hooks": [{"type": "command", "command": "prettier --write \"$CLAUDE_FILE_PATHS\""}]}],
    "UserPromptSubmit": [{"hooks": [{"type": "command", "command": "~/bin/log-prompt.sh", "timeout": 5}]}]
  },
  "model": "claude-opus-4-1",
  "permissions": {"allow": ["Bash(npm run test:*)"], "deny": ["Bash(curl:*)"], "defaultMode": "acceptEdits"},
  "statusLine": {"type": "command", "command": "~/.claude/statusline.sh"},
  "greeting": "Grüße, 世界 🚀"
})json";

json ourHook(const std::string& command, int timeout = 3) {
    return {{"type", "command"}, {"command", command}, {"timeout", timeout}};
}
json group(json hooks) {
    return {{"hooks", std::move(hooks)}};
}

class HookInstallerTest : public ::testing::Test {
  protected:
    void write(const std::string& text) const {
        fs::create_directories(home + "/.claude");
        ASSERT_TRUE(writeFileAtomically(settings, text));
    }
    static std::string contents(const std::string& path) {
        const auto text = readFile(path);
        return text.ok() ? *text : "<none>";
    }
    json written() const { return json::parse(contents(settings)); }
    json hooks() const { return written()["hooks"]; }
    // Names in .claude beside the settings file and its backup.
    std::vector<std::string> strays() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(home + "/.claude")) {
            const auto name = entry.path().filename().string();
            if (name != "settings.json" && name != "settings.json.brimwick-backup")
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The settings with our groups taken out, for comparing with what the user had.
    static json withoutOurGroups(json value) {
        if (!value.contains("hooks")) return value;
        for (auto it = value["hooks"].begin(); it != value["hooks"].end();) {
            *it = *installer::withoutOurs(&*it);
            it = it->empty() ? value["hooks"].erase(it) : std::next(it);
        }
        if (value["hooks"].empty()) value.erase("hooks");
        return value;
    }

    testing::ScratchFolder scratch{"brimwick-installer"};
    const std::string home = scratch.path().string();
    const std::string settings = installer::settingsPath(home);
    const std::string backup = installer::backupPath(home);
};

TEST_F(HookInstallerTest, InstallWritesOurGroupForElevenEventsAfterTheUsersOwn) {
    EXPECT_EQ(installer::command("PermissionRequest"), curl(120, "permission", " 2>/dev/null"));
    EXPECT_EQ(installer::command("Stop"), kStopCommand);
    EXPECT_EQ(installer::unreadable().message,
              "~/.claude/settings.json isn't valid JSON or has an unexpected hooks layout, so "
              "Brimwick left it alone. Fix the file and try again.");
    write(json{
        {"zeta", "a/b"},
        {"alpha", "Grüße 世界 🚀"},
        {"mid", {{"y", 1}, {"x", 2}}},
        {"hooks",
         {{"PreToolUse", {{{"matcher", "Bash"}, {"hooks", {{{"command", "./guard.sh"}}}}}}},
          {"Stop",
           {{{"matcher", "x"},
             {"note", "mine"},
             {"hooks",
              {{{"command", "say done"}}, ourHook("curl http://127.0.0.1:47821/stop", 9)}}}}}}}}
              .dump());
    const auto installed = installer::install(home);
    ASSERT_TRUE(installed.ok()) << installed.error().message;
    EXPECT_EQ(installed->settingsPath, home + "/.claude/settings.json");
    EXPECT_TRUE(installed->backedUp);
    EXPECT_TRUE(installer::isInstalled(home));
    EXPECT_FALSE(installer::isOutdated(home));

    const json all = hooks();
    ASSERT_EQ(all.size(), 11u);
    const std::vector<std::string> order(installer::events.begin(), installer::events.end());
    EXPECT_EQ(order, (std::vector<std::string>{"SessionStart", "SessionEnd", "UserPromptSubmit",
                                               "PreToolUse", "PostToolUse", "PostToolUseFailure",
                                               "PermissionRequest", "Notification", "PreCompact",
                                               "Stop", "StopFailure"}));
    const std::set<std::string> tools = {"PreToolUse", "PostToolUse", "PostToolUseFailure",
                                         "PermissionRequest"};
    for (const auto& event : order) {
        json ours =
            group({ourHook(event == "PermissionRequest" ? curl(120, "permission", " 2>/dev/null")
                           : event == "Stop"            ? kStopCommand
                                                        : kHookCommand,
                           event == "PermissionRequest" ? 125
                           : event == "Stop"            ? 12
                                                        : 3)});
        if (tools.count(event)) ours["matcher"] = "*";
        EXPECT_EQ(all[event].back(), ours) << event;
        EXPECT_EQ(all[event].size(), event == "PreToolUse" || event == "Stop" ? 2u : 1u) << event;
    }
    EXPECT_EQ(all["PreToolUse"][0]["matcher"], "Bash");
    EXPECT_EQ(all["Stop"][0],
              (json{{"matcher", "x"}, {"note", "mine"}, {"hooks", {{{"command", "say done"}}}}}));

    // Sorted, pretty, with slashes and text as they are.
    const std::string text = contents(settings);
    EXPECT_NE(text.find("\n  \"alpha\": \"Grüße 世界 🚀\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"zeta\": \"a/b\""), std::string::npos);
    EXPECT_EQ(text.find("\\u"), std::string::npos);
    EXPECT_LT(text.find("\"hooks\""), text.find("\"mid\""));
    EXPECT_LT(text.find("\"x\""), text.find("\"y\""));
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(HookInstallerTest, OlderOrAlteredGroupsOfOursAreOutdatedAndRefreshed) {
    write(json{{"hooks",
                {{"PreToolUse",
                  {{{"matcher", "*"},
                    {"hooks", {ourHook("curl -m 2 http://127.0.0.1:47821/hook -d @-")}}}}},
                 {"Stop",
                  {group({ourHook("curl 127.0.0.1:47821/stop", 30),
                          {{"type", "command"}, {"command", "say hi"}}})}},
                 {"Custom",
                  {group({ourHook("curl 127.0.0.1:47821/permission"), ourHook("say hi")}),
                   group({ourHook("curl 127.0.0.1:47821/hook")})}},
                 {"Retired", {group({ourHook("curl 127.0.0.1:47821/hook")})}},
                 {"Empty", json::array()}}}}
              .dump());
    EXPECT_TRUE(installer::isInstalled(home));
    EXPECT_TRUE(installer::isOutdated(home));
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_FALSE(installer::isOutdated(home));
    const json all = hooks();
    ASSERT_EQ(all["PreToolUse"].size(), 1u);
    EXPECT_EQ(all["PreToolUse"][0]["hooks"][0]["command"], kHookCommand);
    // A hook of the user's inside our group is kept in a group of its own, before ours.
    EXPECT_EQ(all["Stop"], json::array({group({{{"type", "command"}, {"command", "say hi"}}}),
                                        group({ourHook(kStopCommand, 12)})}));
    EXPECT_EQ(all["Custom"], json::array({group({ourHook("say hi")})}));
    EXPECT_FALSE(all.contains("Retired"));
    EXPECT_EQ(all["Empty"], json::array()) << "nothing of ours: left exactly as it was";

    const std::string once = contents(settings);
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(contents(settings), once);
    EXPECT_EQ(contents(backup), once) << "the backup is the file before the latest write";
}

TEST_F(HookInstallerTest, UninstallRemovesOnlyOursAndWritesNothingWhenNothingIsOurs) {
    write(kUserSettings);
    const json original = json::parse(kUserSettings);
    fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(withoutOurGroups(written()), original);
    EXPECT_EQ(json::parse(contents(backup)), original);
    EXPECT_EQ(fs::status(settings).permissions() & fs::perms::mask, fs::perms(0600));
    EXPECT_EQ(fs::status(backup).permissions() & fs::perms::mask, fs::perms(0600));
    ASSERT_TRUE(installer::uninstall(home).ok());
    EXPECT_EQ(written(), original);
    EXPECT_EQ(fs::status(settings).permissions() & fs::perms::mask, fs::perms(0600));
    EXPECT_TRUE(strays().empty());

    write(R"({"model": "sonnet"})");
    ASSERT_TRUE(installer::install(home).ok() && installer::uninstall(home).ok());
    EXPECT_EQ(written(), json({{"model", "sonnet"}})) << "an emptied hooks key goes too";
    EXPECT_FALSE(installer::isInstalled(home) || installer::isOutdated(home));

    for (const std::string text :
         {R"({"model": "sonnet"})", R"({"hooks": {"Stop": [{"hooks": [{"command": "x"}]}]}})",
          R"({"hooks": "odd"})", ""}) {
        write(text);
        fs::remove(backup);
        struct stat before = {}, after = {};
        ::stat(settings.c_str(), &before);
        ASSERT_TRUE(installer::uninstall(home).ok()) << text;
        ::stat(settings.c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino) << text;
        EXPECT_FALSE(fs::exists(backup)) << text;
    }
    fs::remove(settings);
    ASSERT_TRUE(installer::uninstall(home).ok());
    EXPECT_FALSE(fs::exists(settings));

    // Every key is cleaned, odd values are skipped (though install refuses them).
    const json odd = {{"Stop", "not a list"},
                      {"PreToolUse", {{{"matcher", "Bash"}, {"hooks", {ourHook("mine")}}}}}};
    json withOurs = odd;
    withOurs["Custom"] = {group({ourHook("curl 127.0.0.1:47821/hook")})};
    write(json{{"hooks", withOurs}}.dump());
    EXPECT_EQ(installer::install(home).error().code, "unreadable");
    ASSERT_TRUE(installer::uninstall(home).ok());
    EXPECT_EQ(written(), json({{"hooks", odd}}));
}

TEST_F(HookInstallerTest, EmptyMissingAndOddFilesAreStartingPointsOrLeftAlone) {
    write("");
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(hooks().size(), 11u);
    EXPECT_EQ(contents(backup), "");
    write(R"({"hooks": ["something"], "keep": true})");
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(hooks().size(), 11u);
    EXPECT_EQ(written()["keep"], true);
    fs::remove_all(home + "/.claude");
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(hooks().size(), 11u);
    EXPECT_FALSE(fs::exists(backup));

    const std::string huge = "{\"a\": \"" + std::string(installer::kMaxFileBytes, 'x') + "\"}";
    const std::string deep = "{\"a\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
    for (const std::string& text :
         {std::string("{"), std::string("[1, 2]"), std::string("\"text\""), std::string("null"),
          std::string("  \n"), std::string("{\"a\": 1} trailing"),
          std::string(R"({"hooks": {"PreToolUse": "x"}})"),
          std::string(R"({"hooks": {"Stop": [1]}})"), std::string(R"({"hooks": {"Stop": null}})"),
          std::string(R"({"hooks": {"Stop": {"hooks": []}}})"),
          // Not UTF-8: Latin-1 and a stray continuation byte inside strings, a lone byte outside,
          // UTF-16 with its byte-order mark.
          std::string("{\"name\": \"caf\xe9\"}"), std::string("{\"a\": \"\x80\"}"),
          std::string("\xff{}"), std::string("\xff\xfe{\0}\0", 6), huge, deep}) {
        write(text);
        fs::remove(backup);
        EXPECT_EQ(installer::install(home).error(), installer::unreadable()) << text.substr(0, 40);
        EXPECT_FALSE(installer::isInstalled(home) || installer::isOutdated(home));
        EXPECT_EQ(contents(settings), text);
        EXPECT_FALSE(fs::exists(backup));
    }
    EXPECT_EQ(installer::uninstall(home).error(), installer::unreadable());
    // Moderate nesting, brackets inside strings and escaped quotes are fine.
    write("{\"a\": " + std::string(100, '[') + std::string(100, ']') +
          R"(, "b": "[[[[\"{{{{", "c": "\\"})");
    EXPECT_TRUE(installer::install(home).ok());
}

TEST_F(HookInstallerTest, FileSystemProblemsAreReportedAsSuch) {
    fs::create_directories(settings);  // a directory: a read error, not "unreadable"
    auto result = installer::install(home);
    EXPECT_EQ(result.error().code, "read");
    EXPECT_NE(result.error().message.find("Is a directory"), std::string::npos);
    EXPECT_FALSE(installer::isInstalled(home));
    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);  // must not hang the read
    EXPECT_EQ(installer::install(home).error().code, "read");
    fs::remove_all(home + "/.claude");
    ASSERT_TRUE(writeFileAtomically(home + "/.claude", "x"));  // the folder can't be made
    EXPECT_FALSE(installer::install(home).ok());
    fs::remove(home + "/.claude");

    // The backup can't be written: nothing is written at all.
    write(R"({"model": "opus"})");
    fs::create_directories(backup + "/occupied");
    EXPECT_EQ(installer::install(home).error().code, "write");
    EXPECT_EQ(contents(settings), R"({"model": "opus"})");
    EXPECT_TRUE(strays().empty());
    // An empty directory in the backup's place is cleared, as a stale backup would be.
    fs::remove(backup + "/occupied");
    EXPECT_TRUE(installer::install(home).ok());
    EXPECT_EQ(contents(backup), R"({"model": "opus"})");
}

TEST_F(HookInstallerTest, ALinkStaysALinkWithTheBackupBesideIt) {
    fs::create_directories(home + "/dotfiles");
    write("");
    fs::remove(settings);
    ASSERT_TRUE(writeFileAtomically(home + "/dotfiles/claude.json", R"({"model": "opus"})"));
    fs::create_symlink("../dotfiles/claude.json", settings);
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(fs::read_symlink(settings), "../dotfiles/claude.json");
    EXPECT_EQ(hooks().size(), 11u);
    EXPECT_EQ(contents(backup), R"({"model": "opus"})");
    EXPECT_EQ(std::distance(fs::directory_iterator(home + "/dotfiles"), fs::directory_iterator()),
              1);
    ASSERT_TRUE(installer::uninstall(home).ok());
    EXPECT_TRUE(fs::is_symlink(settings));
    EXPECT_EQ(written(), json({{"model", "opus"}}));

    fs::remove(home + "/dotfiles/claude.json");  // dangling: written through
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_TRUE(fs::is_symlink(settings));
    EXPECT_TRUE(fs::is_regular_file(home + "/dotfiles/claude.json"));
    fs::remove(settings);
    fs::create_symlink("settings.json", settings);  // a loop is an error, not a hang
    EXPECT_FALSE(installer::install(home).ok());
}

TEST_F(HookInstallerTest, AbandonedTemporaryFilesAreClearedButLiveOnesKept) {
    write(R"({"model": "opus"})");
    for (const auto& name : {settings + ".tmp-AbCdEf", backup + ".tmp-Zz0123",
                             settings + ".tmp-user-file", settings + ".tmp-LIVE00"})
        ASSERT_TRUE(writeFileAtomically(name, "{\"half"));
    // A write in progress in another process holds a lock on its temporary file.
    const int fd = ::open((settings + ".tmp-LIVE00").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ASSERT_TRUE(installer::install(home).ok());
    EXPECT_EQ(strays(), (std::vector<std::string>{"settings.json.tmp-LIVE00",
                                                  "settings.json.tmp-user-file"}));
    ::close(fd);
    ASSERT_TRUE(installer::uninstall(home).ok());
    EXPECT_EQ(strays(), std::vector<std::string>{"settings.json.tmp-user-file"});
}

// A kill at any moment of install or uninstall leaves a file that parses and holds every one of
// the user's keys, a backup that does too, and at most one temporary file per target.
TEST_F(HookInstallerTest, KillAtAnyMomentNeverLosesTheUsersSettings) {
    write(kUserSettings);
    const json original = json::parse(kUserSettings);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMicros(0, 3000);
    int killedMidWrite = 0, round = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (; round < 300 && std::chrono::steady_clock::now() < deadline; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                (void)installer::install(home);
                (void)installer::uninstall(home);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);

        const auto loaded = installer::load(home);
        ASSERT_TRUE(loaded.ok()) << "round " << round << ": " << loaded.error().message;
        ASSERT_EQ(withoutOurGroups(*loaded), original) << "round " << round;
        if (fs::exists(backup)) {
            ASSERT_EQ(withoutOurGroups(json::parse(contents(backup))), original) << round;
        }
        int settingsTemps = 0, backupTemps = 0;
        for (const auto& name : strays()) {
            settingsTemps += name.starts_with("settings.json.tmp-");
            backupTemps += name.starts_with("settings.json.brimwick-backup.tmp-");
        }
        ASSERT_LE(settingsTemps, 1) << round;
        ASSERT_LE(backupTemps, 1) << round;
        killedMidWrite += settingsTemps + backupTemps > 0;
    }
    EXPECT_GE(round, 100);
    RecordProperty("killedMidWrite", killedMidWrite);
    EXPECT_GT(killedMidWrite, 0) << "no kill landed inside a write: the test proves little";
    ASSERT_TRUE(installer::uninstall(home).ok() && installer::install(home).ok());
    EXPECT_TRUE(strays().empty());
}

}  // namespace
}  // namespace brimwick
