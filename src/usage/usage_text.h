// The usage lines of the status menu, shared by the menu and the headless runner.
#pragma once

#include <string>
#include <vector>

#include "core/clock.h"
#include "usage/usage_store.h"

namespace brimwick {

// "Session: 58% left · resets in 3h 7m".
std::string sessionUsageLine(const UsageLimit& limit, Instant now);

// "Week: 12% left · resets Tue 3:07 PM" in the user's locale and time zone.
std::string weekUsageLine(const UsageLimit& limit);

// The informational usage lines the menu shows, in order, without the "Refresh usage" and
// "Show Claude usage in the island" commands: the session and week lines when there are figures,
// then the problem text, or "Loading usage…" when there are neither figures nor a problem.
// Empty while usage is switched off.
std::vector<std::string> usageMenuLines(const UsageStore& store, Instant now);

}  // namespace brimwick
