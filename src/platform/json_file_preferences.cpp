#include "platform/json_file_preferences.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "core/json_input.h"
#include "platform/home.h"

namespace brimwick {

std::string JsonFilePreferences::defaultPath() {
    return configHome() + "/brimwick/preferences.json";
}

JsonFilePreferences::JsonFilePreferences(std::string path, double minInterval, WriteFile writeFile)
    : path_(std::move(path)), minInterval_(minInterval), writeFile_(std::move(writeFile)) {
    // The file holds the paired phones' tokens. A file left readable by others (an older
    // version, a copy, a restored backup) is closed off at once, not only at the next write.
    struct stat info = {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077)) {
        ::chmod(path_.c_str(), 0600);
    }
    if (auto data = readFile(path_); data.ok()) {
        auto parsed = parseJsonInput(*data);
        if (parsed.is_object()) values_ = std::move(parsed);
    }
    writer_ = std::thread([this] { writeLoop(); });
}

JsonFilePreferences::~JsonFilePreferences() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

std::optional<nlohmann::json> JsonFilePreferences::value(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

void JsonFilePreferences::setValue(const std::string& key, const nlohmann::json& value) {
    values_[key] = value;
    std::string text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(text);
        ++changes_;
    }
    wake_.notify_all();
}

void JsonFilePreferences::flush() {
    std::unique_lock lock(mutex_);
    flushWanted_ = changes_;
    wake_.notify_all();
    wake_.wait(lock, [this] { return written_ >= flushWanted_; });
}

void JsonFilePreferences::writeLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (!pending_) return;  // stopping with nothing left to write
        const std::string text = std::move(*pending_);
        pending_.reset();
        const std::uint64_t carried = changes_;
        lock.unlock();

        std::error_code ignored;
        const auto directory = std::filesystem::path(path_).parent_path();
        std::filesystem::create_directories(directory, ignored);
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ignored);
        // A write killed half-way leaves its temporary copy behind; without this sweep they
        // would pile up in the folder, each holding the phones' tokens.
        removeAbandonedTemporaries(path_);
        // Nothing is logged and nothing is shown: the values still hold for this run.
        (void)writeFile_(path_, text, 0600);

        lock.lock();
        written_ = carried;
        wake_.notify_all();
        // Changes that come in the meantime wait for the interval, unless someone is waiting for
        // them or the object is going away.
        wake_.wait_for(lock, std::chrono::duration<double>(minInterval_),
                       [this] { return stopping_ || flushWanted_ > written_; });
    }
}

}  // namespace brimwick
