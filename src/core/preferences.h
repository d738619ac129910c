// Preferences: the user's stored settings, a small key-value store of JSON values.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace brimwick {

// Main-thread only. Keys and their defaults belong to the components that own them.
class Preferences {
  public:
    virtual ~Preferences() = default;

    // The stored value, or nothing when the key was never written.
    virtual std::optional<nlohmann::json> value(const std::string& key) const = 0;

    // Stores and persists a value. A failed write keeps the value in memory for this run.
    virtual void setValue(const std::string& key, const nlohmann::json& value) = 0;

    // A stored Bool, or `fallback` when absent or of another type.
    bool boolValue(const std::string& key, bool fallback) const {
        const auto stored = value(key);
        return stored && stored->is_boolean() ? stored->get<bool>() : fallback;
    }
};

}  // namespace brimwick
