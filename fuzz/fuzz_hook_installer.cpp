// The settings-file installer's load and merge: the input is written as ~/.claude/settings.json
// of a scratch home (in /dev/shm when there is one, so the fsyncs cost nothing), then installed,
// checked, and removed again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "core/atomic_file.h"
#include "fuzz_targets.h"
#include "hooks/hook_installer.h"

namespace brimwick::fuzz {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// One scratch home for the life of the process, removed at exit.
struct ScratchHome {
    std::string path;
    ScratchHome() {
        std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = base + "/brimwick-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data())) path = pattern;
        fs::create_directories(path + "/.claude");
    }
    ~ScratchHome() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

std::string contents(const std::string& file) {
    auto read = readFile(file);
    return read.ok() ? *read : std::string("<missing>");
}

// Everything but the "hooks" key, which is the only thing the installer may change.
json withoutHooks(json settings) {
    settings.erase("hooks");
    return settings;
}

}  // namespace

void hookInstaller(const std::uint8_t* data, std::size_t size) {
    static ScratchHome scratch;
    const std::string& home = scratch.path;
    const std::string file = hook_installer::settingsPath(home);
    std::error_code ignored;
    fs::remove(hook_installer::backupPath(home), ignored);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string original(reinterpret_cast<const char*>(data), size);

    const auto loaded = hook_installer::load(home);
    const auto installed = hook_installer::install(home);
    if (!loaded.ok()) {
        expect(!installed.ok(), "what cannot be loaded is not installed into");
        expect(contents(file) == original, "a refused file is left untouched");
        expect(!fs::exists(hook_installer::backupPath(home)), "a refused file gets no backup");
        return;
    }
    // Other hooks' layouts may still be refused; then nothing is written.
    if (!installed.ok()) {
        expect(installed.error().code == hook_installer::kUnreadableCode,
               "install fails only on an unreadable layout here");
        expect(contents(file) == original, "a refused layout is left untouched");
        return;
    }
    expect(hook_installer::isInstalled(home), "installed after install");
    expect(!hook_installer::isOutdated(home), "fresh after install");
    const auto after = hook_installer::load(home);
    expect(after.ok(), "what was written loads again");
    expect(withoutHooks(*after) == withoutHooks(*loaded), "other settings are kept");
    if (!original.empty()) {
        expect(contents(hook_installer::backupPath(home)) == original,
               "the backup is the old file");
    }
    for (const auto event : hook_installer::events) {
        const auto& groups = (*after)["hooks"][std::string(event)];
        expect(groups.is_array() && !groups.empty() &&
                   groups.back() == hook_installer::groupFor(event),
               "our group comes last for every event");
    }

    // Installing again changes nothing; removing leaves no trace of ours and keeps the rest.
    const std::string once = contents(file);
    expect(hook_installer::install(home).ok() && contents(file) == once, "install is idempotent");
    expect(hook_installer::uninstall(home).ok(), "what was installed can be removed");
    expect(!hook_installer::isInstalled(home), "nothing of ours after removal");
    const auto removed = hook_installer::load(home);
    expect(removed.ok() && withoutHooks(*removed) == withoutHooks(*loaded),
           "removal keeps the other settings");
}

}  // namespace brimwick::fuzz

BRIMWICK_FUZZ_ENTRY(hookInstaller)
