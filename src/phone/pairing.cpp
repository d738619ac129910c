#include "phone/pairing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/text.h"
#include "phone/phone_server.h"
#include "platform/secure_random.h"

namespace brimwick {

std::shared_ptr<Pairing> Pairing::create(MainQueue& queue, Preferences& preferences,
                                         std::function<std::string()> drawCode) {
    return std::shared_ptr<Pairing>(new Pairing(queue, preferences, std::move(drawCode)));
}

// The stored phones are cleaned as they are read: a file written by an older version (or by
// someone else) may hold names or tokens no pairing could produce today.
Pairing::Pairing(MainQueue& queue, Preferences& preferences, std::function<std::string()> drawCode)
    : queue_(queue), preferences_(preferences), drawCode_(std::move(drawCode)) {
    const auto stored = preferences_.value(kDevicesKey);
    if (!stored || !stored->is_object()) return;
    std::map<std::string, std::string> read;
    for (const auto& [token, name] : stored->items()) {
        if (!name.is_string()) return;  // one value of another type: nothing counts
        read.emplace(token, name.get<std::string>());
    }
    for (const auto& [token, name] : read) {
        if (token.size() > kMaxTokenBytes) continue;
        devices_[token] = text::prefix(text::displayable(name), PhoneServer::kMaxDeviceName);
    }
    if (devices_ != read) store();
}

Pairing::~Pairing() {
    justPairedTimer_.cancel();
}

std::set<std::string> Pairing::tokens() const {
    std::set<std::string> tokens;
    for (const auto& [token, name] : devices_) tokens.insert(token);
    return tokens;
}

std::vector<std::string> Pairing::deviceNames() const {
    std::vector<std::string> names;
    for (const auto& [token, name] : devices_) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

void Pairing::store() {
    nlohmann::json stored = nlohmann::json::object();
    for (const auto& [token, name] : devices_) stored[token] = name;
    preferences_.setValue(kDevicesKey, stored);
}

void Pairing::issueCode() {
    paused_ = false;
    code_ = drawCode_();
    changed.emit();
}

void Pairing::newCode() {
    burnedCodes_ = 0;
    issueCode();
}

void Pairing::withdrawCode() {
    code_.clear();
    paused_ = false;
    changed.emit();
}

void Pairing::codeBurned() {
    burnedCodes_ += 1;
    if (burnedCodes_ < kBurnsBeforePause) {
        issueCode();
        return;
    }
    code_.clear();
    paused_ = true;
    changed.emit();
}

void Pairing::paired(const std::string& token, const std::string& device, bool serving) {
    devices_[token] = device;
    store();
    if (!serving) {
        // A pairing that raced with switching off: keep the phone, issue nothing.
        changed.emit();
        return;
    }
    burnedCodes_ = 0;
    justPaired_ = device;
    issueCode();
    // A second pairing within the success time gets its full time too.
    justPairedTimer_.cancel();
    std::weak_ptr<Pairing> weak = weak_from_this();
    justPairedTimer_ = queue_.after(kJustPairedTime, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->closePairingWindow) self->closePairingWindow();
        self->justPaired_.reset();
        self->changed.emit();
    });
}

void Pairing::forget() {
    if (devices_.empty()) return;
    devices_.clear();
    store();
    changed.emit();
}

std::string Pairing::grouped(const std::string& code) {
    if (code.size() != 6) return code;
    return code.substr(0, 3) + " " + code.substr(3);
}

std::optional<std::string> Pairing::secureCode() {
    // Rejection sampling keeps every one of the million codes equally likely.
    constexpr std::uint64_t kCodes = 1'000'000;
    constexpr std::uint64_t kRange = std::uint64_t(1) << 32;
    constexpr std::uint64_t kAccepted = kRange - kRange % kCodes;
    std::uint32_t value = 0;
    do {
        if (!secureRandomBytes(&value, sizeof value)) return std::nullopt;
    } while (value >= kAccepted);
    char text[8];
    std::snprintf(text, sizeof text, "%06u", static_cast<unsigned>(value % kCodes));
    return std::string(text);
}

}  // namespace brimwick
