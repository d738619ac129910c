#include "phone/recent_projects.h"

#include <algorithm>

#include "core/text.h"

namespace brimwick {

RecentProjects::RecentProjects(Preferences& preferences, Launch launch, IsDirectory isDirectory)
    : preferences_(preferences), launch_(std::move(launch)), isDirectory_(std::move(isDirectory)) {
    const auto stored = preferences_.value(kKey);
    if (!stored || !stored->is_array()) return;
    std::vector<std::string> read;
    for (const auto& value : *stored) {
        if (!value.is_string()) return;  // one value of another type: nothing counts
        read.push_back(value.get<std::string>());
    }
    for (const auto& path : read) {
        if (list_.size() == kMax) break;
        if (!path.empty() && path.size() <= kMaxPathBytes) list_.push_back(path);
    }
    if (list_ != read) preferences_.setValue(kKey, list_);
}

void RecentProjects::note(const std::optional<std::string>& folder) {
    if (!folder || folder->empty() || folder->size() > kMaxPathBytes) return;
    if (!list_.empty() && list_.front() == *folder) return;
    std::vector<std::string> list = {*folder};
    for (const auto& path : list_) {
        if (path != *folder && list.size() < kMax) list.push_back(path);
    }
    list_ = std::move(list);
    preferences_.setValue(kKey, list_);
    changed.emit();
}

Outcome RecentProjects::start(const std::string& folder, const std::string& prompt) {
    // Only folders that sessions used lately may be opened from the phone.
    const bool known = std::find(list_.begin(), list_.end(), folder) != list_.end();
    if (!known || !isDirectory_(folder)) return {false, kUnknownFolder};
    auto launched = launch_(folder, prompt);
    if (!launched) return {false, "Couldn't open a terminal: " + launched.error().message};
    return {true, "Starting a new session in " + text::lastPathComponent(folder) + " in a terminal."};
}

}  // namespace brimwick
