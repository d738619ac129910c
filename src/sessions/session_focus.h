// SessionFocus: finds the desktop application that hosts a session's agent process, and brings
// it forward when the user picks the session in the island or the menu.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/beeper.h"
#include "platform/process_table.h"
#include "platform/window_list.h"
#include "sessions/agent_session.h"

namespace brimwick {

// A running application with windows on the desktop.
struct HostApp {
    std::int32_t pid = 0;
    std::optional<std::string> name;     // window class, else process name; none when neither
    std::vector<std::uint32_t> windows;  // its top-level windows, bottom of the stack first

    bool operator==(const HostApp&) const = default;
};

// Keeps no state between calls; the services it is given must outlive it. Main thread only.
class SessionFocus {
  public:
    // The starting process and up to 31 ancestors.
    static constexpr int kMaxProcesses = 32;

    SessionFocus(const ProcessTable& processes, WindowList& windows);

    // Walks from `pid` up the process tree to the first process that owns a top-level window.
    // None for ids below 2, at a process that is its own parent, when a process can't be read,
    // or after kMaxProcesses processes. Never fails otherwise.
    std::optional<HostApp> hostApp(std::int32_t pid);

    // The host application's name for a host process id, as the phone snapshot reports it.
    std::optional<std::string> hostAppName(std::optional<std::int32_t> pid);

    // Activates every window of the session's host application, the topmost last. Beeps and
    // returns false when there is no host process id, no host application, or the desktop
    // couldn't be asked.
    bool bringForward(const AgentSession& session, Beeper& beeper);
    bool bringForward(std::optional<std::int32_t> hostPID, Beeper& beeper);

  private:
    const ProcessTable& processes_;
    WindowList& windows_;
};

}  // namespace brimwick
