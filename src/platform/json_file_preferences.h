// JsonFilePreferences: preferences kept in one JSON file, by default
// $XDG_CONFIG_HOME/brimwick/preferences.json (~/.config when unset).
#pragma once

#include <string>

#include "core/preferences.h"

namespace brimwick {

// The file is created with mode 0600 (it holds phone tokens) and rewritten atomically on each
// change. An unreadable or malformed file counts as empty and is replaced at the next write.
class JsonFilePreferences final : public Preferences {
  public:
    explicit JsonFilePreferences(std::string path = defaultPath());

    static std::string defaultPath();
    const std::string& path() const { return path_; }

    std::optional<nlohmann::json> value(const std::string& key) const override;
    void setValue(const std::string& key, const nlohmann::json& value) override;

  private:
    std::string path_;
    nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace brimwick
