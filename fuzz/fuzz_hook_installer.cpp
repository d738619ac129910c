// The settings-file installer's load and merge: the input is written as ~/.claude/settings.json
// of a scratch home (in /dev/shm when there is one, so the fsyncs cost nothing), then installed,
// checked, and removed again.
#include <filesystem>

#include "core/atomic_file.h"
#include "fuzz_targets.h"
#include "hooks/hook_installer.h"
#include "support/scratch_folder.h"

void brimwick::fuzz::hookInstaller(std::string_view bytes) {
    namespace fs = std::filesystem;
    static const testing::ScratchFolder scratch = [] {
        if (fs::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 0);
        return testing::ScratchFolder("brimwick-fuzz");
    }();
    const std::string home = scratch.path(), file = hook_installer::settingsPath(home);
    const std::string backup = hook_installer::backupPath(home), original(bytes);
    const auto contents = [](const std::string& path) {
        const auto read = readFile(path);
        return read.ok() ? *read : std::string("<missing>");
    };
    // Everything but the "hooks" key, which is the only thing the installer may change.
    const auto rest = [](nlohmann::json settings) { return settings.erase("hooks"), settings; };
    std::error_code ignored;
    fs::remove(backup, ignored);
    fs::create_directories(home + "/.claude");
    expect(writeFileAtomically(file, original).ok(), "the input is written");

    const auto loaded = hook_installer::load(home);
    const auto installed = hook_installer::install(home);
    if (!loaded.ok() || !installed.ok()) {
        expect(!installed.ok(), "what cannot be loaded is not installed into");
        expect(!loaded.ok() || installed.error().code == hook_installer::kUnreadableCode,
               "install fails only on an unreadable layout here");
        expect(contents(file) == original, "a refused file is left untouched");
        expect(loaded.ok() || !fs::exists(backup), "a refused file gets no backup");
        return;
    }
    expect(hook_installer::isInstalled(home), "installed after install");
    expect(!hook_installer::isOutdated(home), "fresh after install");
    const auto after = hook_installer::load(home);
    expect(after.ok() && rest(*after) == rest(*loaded), "other settings are kept");
    expect(original.empty() || contents(backup) == original, "the backup is the old file");
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
    expect(removed.ok() && rest(*removed) == rest(*loaded), "removal keeps the other settings");
}

BRIMWICK_FUZZ_ENTRY(hookInstaller)
