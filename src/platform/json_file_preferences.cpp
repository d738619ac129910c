#include "platform/json_file_preferences.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/json_input.h"
#include "platform/home.h"

namespace brimwick {

std::string JsonFilePreferences::defaultPath() {
    return configHome() + "/brimwick/preferences.json";
}

JsonFilePreferences::JsonFilePreferences(std::string path) : path_(std::move(path)) {
    // The file holds the paired phones' tokens. A file left readable by others (an older
    // version, a copy, a restored backup) is closed off at once, not only at the next write.
    struct stat info = {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077)) {
        ::chmod(path_.c_str(), 0600);
    }
    auto data = readFile(path_);
    if (!data.ok()) return;
    auto parsed = parseJsonInput(*data);
    if (parsed.is_object()) values_ = std::move(parsed);
}

std::optional<nlohmann::json> JsonFilePreferences::value(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

void JsonFilePreferences::setValue(const std::string& key, const nlohmann::json& value) {
    values_[key] = value;
    std::error_code ignored;
    const auto directory = std::filesystem::path(path_).parent_path();
    std::filesystem::create_directories(directory, ignored);
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
    // A write killed half-way leaves its temporary copy behind; without this sweep they would
    // pile up in the folder, each holding the phones' tokens.
    removeAbandonedTemporaries(path_);
    // Nothing is logged and nothing is shown: the value still holds for this run.
    (void)writeFileAtomically(path_, values_.dump(2) + "\n", 0600);
}

}  // namespace brimwick
