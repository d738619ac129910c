// ProcessTable: the few facts about other processes that the terminal actions need.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brimwick {

// Read-only view of the system's processes. Implementations keep no state between calls, so any
// thread may use them; every answer is a snapshot that may be stale by the time it is used.
class ProcessTable {
  public:
    virtual ~ProcessTable() = default;

    // The parent's process id, or nothing when the process does not exist or cannot be read.
    virtual std::optional<std::int32_t> parentOf(std::int32_t pid) const = 0;

    // The process's short command name (as `ps -o comm` shows it), or nothing.
    virtual std::optional<std::string> nameOf(std::int32_t pid) const = 0;
};

// The processes of this Linux machine, read from /proc/<pid>/stat.
class LinuxProcessTable final : public ProcessTable {
  public:
    std::optional<std::int32_t> parentOf(std::int32_t pid) const override;
    std::optional<std::string> nameOf(std::int32_t pid) const override;
};

// Parses the text of /proc/<pid>/stat: "pid (comm) state ppid ...". The command name may hold
// spaces and parentheses, so the fields after it are found from the last ')'.
struct ProcessStat {
    std::string name;
    std::int32_t parent = 0;
};
std::optional<ProcessStat> parseProcessStat(std::string_view text);

}  // namespace brimwick
