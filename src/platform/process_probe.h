// ProcessProbe: asks the operating system whether a process id still names a running process,
// so sessions whose Claude Code process has exited can be dropped.
#pragma once

#include <cstdint>

namespace brimwick {

// Any thread; implementations hold no state.
class ProcessProbe {
  public:
    virtual ~ProcessProbe() = default;

    // False only when the system says for certain that no such process exists. Every doubt
    // (no permission to signal it, an id that names no single process) answers true, so a
    // probe failure never drops a live session.
    virtual bool exists(std::int32_t pid) const = 0;
};

// A signal-0 probe (kill(pid, 0)): only ESRCH means gone. Ids <= 0 address process groups
// rather than one process, so they are never probed and count as alive.
class SignalProcessProbe final : public ProcessProbe {
  public:
    bool exists(std::int32_t pid) const override;
};

}  // namespace brimwick
