#include <charconv>

#include "core/atomic_file.h"
#include "platform/process_table.h"

namespace brimwick {
namespace {

std::optional<ProcessStat> readStat(std::int32_t pid) {
    if (pid < 0) return std::nullopt;
    const auto text = readFile("/proc/" + std::to_string(pid) + "/stat");
    if (!text.ok()) return std::nullopt;
    return parseProcessStat(*text);
}

}  // namespace

std::optional<ProcessStat> parseProcessStat(std::string_view text) {
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    // After the name: " S 1234 ..." (one state character, then the parent id).
    std::string_view rest = text.substr(close + 1);
    if (rest.size() < 4 || rest[0] != ' ' || rest[2] != ' ') return std::nullopt;
    rest.remove_prefix(3);
    std::int32_t parent = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
    if (error != std::errc() || end == rest.data()) return std::nullopt;
    if (end != rest.data() + rest.size() && *end != ' ' && *end != '\n') return std::nullopt;
    return ProcessStat{std::string(text.substr(open + 1, close - open - 1)), parent};
}

std::optional<std::int32_t> LinuxProcessTable::parentOf(std::int32_t pid) const {
    const auto stat = readStat(pid);
    if (!stat) return std::nullopt;
    return stat->parent;
}

std::optional<std::string> LinuxProcessTable::nameOf(std::int32_t pid) const {
    const auto stat = readStat(pid);
    if (!stat) return std::nullopt;
    return stat->name;
}

}  // namespace brimwick
