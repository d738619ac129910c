// MemoryPreferences: a Preferences kept in memory, recording every write, for tests.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/preferences.h"

namespace brimwick::testing {

class MemoryPreferences final : public Preferences {
  public:
    MemoryPreferences() = default;
    explicit MemoryPreferences(std::map<std::string, nlohmann::json> values)
        : values_(std::move(values)) {}

    std::optional<nlohmann::json> value(const std::string& key) const override {
        const auto it = values_.find(key);
        return it == values_.end() ? std::nullopt : std::optional(it->second);
    }
    void setValue(const std::string& key, const nlohmann::json& value) override {
        values_[key] = value;
        writes_.emplace_back(key, value);
    }
    // Every setValue call, in order.
    const std::vector<std::pair<std::string, nlohmann::json>>& writes() const { return writes_; }

  private:
    std::map<std::string, nlohmann::json> values_;
    std::vector<std::pair<std::string, nlohmann::json>> writes_;
};

}  // namespace brimwick::testing
