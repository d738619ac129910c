// JsonFilePreferences: preferences kept in one JSON file, by default
// $XDG_CONFIG_HOME/brimwick/preferences.json (~/.config when unset).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/atomic_file.h"
#include "core/preferences.h"

namespace brimwick {

// The file is created with mode 0600 (it holds phone tokens) and rewritten atomically. Writing
// (with its fsyncs) happens on a thread of the object's own, never on the caller's: the first
// change after a quiet spell is written at once, later ones are gathered and written at most
// once per `minInterval` seconds, and whatever is pending is written when the object goes away.
// An unreadable or malformed file counts as empty and is replaced at the next write.
// value() and setValue() belong to one thread (the main thread); flush() to any.
class JsonFilePreferences final : public Preferences {
  public:
    using WriteFile = std::function<Result<void>(const std::string& path, const std::string& data,
                                                 std::optional<mode_t> mode)>;

    static constexpr double kMinInterval = 3.0;

    explicit JsonFilePreferences(std::string path = defaultPath(),
                                 double minInterval = kMinInterval,
                                 WriteFile writeFile = writeFileAtomically);
    ~JsonFilePreferences() override;  // writes what is pending, then ends the writer
    JsonFilePreferences(const JsonFilePreferences&) = delete;
    JsonFilePreferences& operator=(const JsonFilePreferences&) = delete;

    static std::string defaultPath();
    const std::string& path() const { return path_; }

    std::optional<nlohmann::json> value(const std::string& key) const override;
    void setValue(const std::string& key, const nlohmann::json& value) override;

    // Returns once every change made before the call has been written (or failed to be).
    void flush();

  private:
    void writeLoop();

    const std::string path_;
    const double minInterval_;
    const WriteFile writeFile_;
    nlohmann::json values_ = nlohmann::json::object();

    // Shared with the writer thread.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::string> pending_;  // the newest text not yet taken by the writer
    std::uint64_t changes_ = 0;           // setValue calls so far
    std::uint64_t written_ = 0;           // changes the last finished write carried
    std::uint64_t flushWanted_ = 0;       // flush() waits until written_ reaches this
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace brimwick
