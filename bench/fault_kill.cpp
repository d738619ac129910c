// Fault injection: kills Brimwick with SIGKILL in the middle of writing its files and counts the
// files that were lost or corrupted (there must be none).
//
// 1. Hook installation: runs `brimwick hooks install` and `brimwick hooks remove` in turn on a
//    scratch home whose ~/.claude/settings.json holds other settings and foreign hooks, and
//    kills each run after a random delay within its usual duration. Afterwards the settings
//    file must be byte for byte either the state before or the state after the run, and so
//    must its backup.
// 2. Preferences: a child process writes the preferences file through Brimwick's own
//    JsonFilePreferences, one added paired phone per write, and is killed after a random delay.
//    The file must always load, hold a gapless run of phones that never shrinks, and stay 0600.
//
// Everything happens in a scratch folder removed at the end. Exits 1 when anything was lost or
// corrupted. Usage: fault_kill [kills per part (1000)] [brimwick binary]
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/atomic_file.h"
#include "hooks/hook_installer.h"
#include "platform/json_file_preferences.h"

namespace {

namespace fs = std::filesystem;
namespace hook_installer = brimwick::hook_installer;
using nlohmann::json;
using Steady = std::chrono::steady_clock;

std::string contentsOf(const fs::path& file) {
    auto read = brimwick::readFile(file.string());
    return read.ok() ? *read : std::string("<missing>");
}

// Starts `binary hooks <verb>` with HOME (and the config folder) in the scratch home.
pid_t startHooks(const std::string& binary, const std::string& verb, const fs::path& home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(binary.c_str(), binary.c_str(), "hooks", verb.c_str(), nullptr);
        ::_exit(127);
    }
    return pid;
}

// Waits for the child; true when it exited by itself with status 0.
bool reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Settings that are not ours, big enough (about 200 KiB) that a write takes a while.
json foreignSettings() {
    json settings = {{"model", "opus"}, {"theme", "dark"}};
    settings["hooks"]["Stop"] = json::array(
        {{{"hooks", json::array({{{"type", "command"}, {"command", "notify-send done"}}})}}});
    settings["hooks"]["PreToolUse"] = json::array(
        {{{"matcher", "Bash"},
          {"hooks", json::array({{{"type", "command"}, {"command", "/usr/local/bin/guard"}}})}}});
    json allowed = json::array();
    for (int i = 0; i < 4000; ++i) allowed.push_back("Bash(make target-" + std::to_string(i) + ")");
    settings["permissions"]["allow"] = allowed;
    return settings;
}

struct HookPart {
    int runs = 0, killed = 0, finished = 0, lost = 0, corrupted = 0, badBackups = 0;
    std::size_t leftoverTemporaries = 0;
    double usualSeconds = 0;
};

HookPart killDuringHookInstallation(const std::string& binary, const fs::path& home, int kills,
                                    std::mt19937& random) {
    HookPart part;
    const fs::path settings = hook_installer::settingsPath(home.string());
    const fs::path backup = hook_installer::backupPath(home.string());
    fs::create_directories(settings.parent_path());

    // The two states a run moves between, as the installer itself writes them.
    (void)brimwick::writeFileAtomically(settings.string(), foreignSettings().dump(2) + "\n");
    if (!hook_installer::uninstall(home.string()).ok()) return part;
    std::string absent = contentsOf(settings);
    std::vector<double> durations;
    std::string present;
    for (int i = 0; i < 10; ++i) {
        const auto started = Steady::now();
        reap(startHooks(binary, i % 2 == 0 ? "install" : "remove", home));
        durations.push_back(std::chrono::duration<double>(Steady::now() - started).count());
        if (i == 0) present = contentsOf(settings);
    }
    std::sort(durations.begin(), durations.end());
    part.usualSeconds = durations[durations.size() / 2];
    if (present == absent || contentsOf(settings) != absent) {
        std::fprintf(stderr, "fault_kill: install and remove do not move between two states\n");
        part.corrupted = 1;
        return part;
    }

    bool installed = false;
    for (int i = 0; i < kills; ++i) {
        const std::string before = installed ? present : absent;
        const pid_t pid = startHooks(binary, installed ? "remove" : "install", home);
        sleepFor(std::uniform_real_distribution<double>(0, part.usualSeconds)(random));
        ::kill(pid, SIGKILL);
        const bool exited = reap(pid);
        ++part.runs;
        exited ? ++part.finished : ++part.killed;

        const std::string now = contentsOf(settings);
        if (now == "<missing>") {
            ++part.lost;
        } else if (now != absent && now != present) {
            ++part.corrupted;
            (void)brimwick::writeFileAtomically(settings.string(), before);  // carry on
        }
        if (fs::exists(backup)) {
            const std::string saved = contentsOf(backup);
            if (saved != absent && saved != present) ++part.badBackups;
        }
        installed = contentsOf(settings) == present;
    }
    for (const auto& entry : fs::directory_iterator(settings.parent_path())) {
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) {
            ++part.leftoverTemporaries;
        }
    }
    return part;
}

struct PreferencesPart {
    int runs = 0, lost = 0, corrupted = 0, shrunk = 0, badMode = 0;
    long writes = 0;
    std::size_t leftoverTemporaries = 0;
};

constexpr int kKeptPhones = 200;

// The child: adds one paired phone per write, keeping the newest 200, until it is killed.
[[noreturn]] void writePreferencesForever(const fs::path& file) {
    // Every change written as soon as the last write ends: as many writes to kill as can be.
    brimwick::JsonFilePreferences preferences(file.string(), /*minInterval=*/0);
    json devices = preferences.value("phoneDevices").value_or(json::object());
    if (!devices.is_object()) devices = json::object();
    const json counter = preferences.value("soakNextPhone").value_or(json());
    long next = counter.is_number_integer() ? counter.get<long>() : 0;
    for (;;) {
        char token[32];
        std::snprintf(token, sizeof token, "phone-%012ld", next);
        devices[token] = "Phone " + std::to_string(next);
        if (devices.size() > kKeptPhones) devices.erase(devices.begin());
        ++next;
        preferences.setValue("phoneDevices", devices);
        preferences.setValue("soakNextPhone", next);
    }
}

// The newest phone in the file and whether the file holds a gapless run ending there.
bool readPhones(const fs::path& file, long& newest) {
    auto read = brimwick::readFile(file.string());
    if (!read.ok()) return false;
    const auto values = json::parse(*read, nullptr, false);
    if (!values.is_object()) return false;
    const auto devices = values.find("phoneDevices");
    const auto next = values.find("soakNextPhone");
    if (devices == values.end() || !devices->is_object() || devices->empty()) return false;
    long last = -1;
    for (const auto& [token, name] : devices->items()) {
        const long n = std::atol(token.c_str() + 6);
        if (name != "Phone " + std::to_string(n)) return false;
        if (last >= 0 && n != last + 1) return false;
        last = n;
    }
    newest = last;
    // The counter is written just after the phone it counts, so it may lag by one write.
    return next != values.end() && next->is_number_integer() &&
           (next->get<long>() == last + 1 || next->get<long>() == last);
}

PreferencesPart killDuringPreferencesWrites(const fs::path& folder, int kills,
                                            std::mt19937& random) {
    PreferencesPart part;
    fs::create_directories(folder);
    const fs::path file = folder / "preferences.json";
    {
        brimwick::JsonFilePreferences preferences(file.string());
        preferences.setValue("phoneDevices", json{{"phone-000000000000", "Phone 0"}});
        preferences.setValue("soakNextPhone", 1);
    }
    long newest = 0;
    for (int i = 0; i < kills; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) writePreferencesForever(file);
        sleepFor(std::uniform_real_distribution<double>(0.002, 0.03)(random));
        ::kill(pid, SIGKILL);
        reap(pid);
        ++part.runs;

        long now = -1;
        if (!fs::exists(file)) {
            ++part.lost;
        } else if (!readPhones(file, now)) {
            ++part.corrupted;
        } else if (now < newest) {
            ++part.shrunk;
        } else {
            part.writes += now - newest;
            newest = now;
        }
        struct stat info = {};
        if (::stat(file.c_str(), &info) == 0 && (info.st_mode & 0777) != 0600) ++part.badMode;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) {
            ++part.leftoverTemporaries;
        }
    }
    return part;
}

}  // namespace

int main(int argc, char** argv) {
    const int kills = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string binary = argc > 2 ? argv[2] : BRIMWICK_BINARY;
    if (kills <= 0 || ::access(binary.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "usage: fault_kill [kills per part] [brimwick binary]\n");
        return 2;
    }
    std::string pattern = (fs::temp_directory_path() / "brimwick-fault-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 2;
    const fs::path scratch = pattern;
    std::mt19937 random(std::random_device{}());

    const auto started = Steady::now();
    const HookPart hooks = killDuringHookInstallation(binary, scratch / "home", kills, random);
    const double hookSeconds = std::chrono::duration<double>(Steady::now() - started).count();
    std::printf(
        "hook installation: %d runs (usually %.1f ms each), %d killed mid-run, %d done "
        "first, in %.0f s\n",
        hooks.runs, hooks.usualSeconds * 1e3, hooks.killed, hooks.finished, hookSeconds);
    std::printf(
        "  settings files lost %d, corrupted %d; bad backups %d; temporary files left "
        "%zu (removed by the next write)\n",
        hooks.lost, hooks.corrupted, hooks.badBackups, hooks.leftoverTemporaries);

    const auto middle = Steady::now();
    const PreferencesPart prefs = killDuringPreferencesWrites(scratch / "config", kills, random);
    const double prefSeconds = std::chrono::duration<double>(Steady::now() - middle).count();
    std::printf("preferences: %d writers killed after %ld completed writes, in %.0f s\n",
                prefs.runs, prefs.writes, prefSeconds);
    std::printf(
        "  files lost %d, corrupted %d, phones lost %d, wrong mode %d; temporary files "
        "left %zu\n",
        prefs.lost, prefs.corrupted, prefs.shrunk, prefs.badMode, prefs.leftoverTemporaries);

    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    const int bad = hooks.lost + hooks.corrupted + hooks.badBackups + prefs.lost + prefs.corrupted +
                    prefs.shrunk + prefs.badMode + (hooks.runs == kills ? 0 : 1);
    std::printf("fault_kill: %s\n", bad == 0 ? "nothing lost or corrupted" : "LOST OR CORRUPTED");
    return bad == 0 ? 0 : 1;
}
