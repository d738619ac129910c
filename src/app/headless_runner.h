// The headless text face: the hook server and the session store on the main thread's
// io_context with no display, printing one line per change. SIGINT and SIGTERM end it cleanly.
#pragma once

#include <string>
#include <vector>

#include "platform/desktop_notifications.h"
#include "sessions/agent_session.h"

namespace brimwick {

// The process entry of the headless face: parses options, runs until a signal, returns the
// exit status.
int runHeadless(int argc, char** argv);

// "notify: " + summary, then " · " + body when there is one.
std::string notifyLine(const DesktopNotification& notification);

// "sessions: " + "project: label" joined by ", " in the given order, or "sessions: none".
std::string sessionsLine(const std::vector<AgentSession>& ranked);

}  // namespace brimwick
