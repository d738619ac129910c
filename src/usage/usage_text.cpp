#include "usage/usage_text.h"

#include "core/percent.h"

namespace brimwick {

std::string sessionUsageLine(const UsageLimit& limit, Instant now) {
    return "Session: " + std::to_string(percentLeft(limit.used)) + "% left \u00b7 resets in " +
           UsageStore::countdown(limit.resetsAt, now);
}

std::string weekUsageLine(const UsageLimit& limit) {
    return "Week: " + std::to_string(percentLeft(limit.used)) + "% left \u00b7 resets " +
           UsageStore::resetDay(limit.resetsAt);
}

std::vector<std::string> usageMenuLines(const UsageStore& store, Instant now) {
    std::vector<std::string> lines;
    if (!store.enabled()) return lines;
    if (const auto& usage = store.usage()) {
        if (usage->session) lines.push_back(sessionUsageLine(*usage->session, now));
        if (usage->week) lines.push_back(weekUsageLine(*usage->week));
    }
    if (!store.problem().empty()) {
        lines.push_back(store.problem());
    } else if (!store.usage()) {
        lines.push_back("Loading usage\u2026");
    }
    return lines;
}

}  // namespace brimwick
