#include "platform/host_name.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

constexpr std::string_view kWhiteSpace = " \t\r";

std::string_view trimmedView(std::string_view text) {
    const auto start = text.find_first_not_of(kWhiteSpace);
    if (start == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(kWhiteSpace);
    return text.substr(start, end - start + 1);
}

// Undoes shell quoting of one value: "…" (backslash escapes inside), '…' (literal) and bare
// text (backslash escapes; white space at the end dropped). Segments may follow each other.
std::string unquoted(std::string_view value) {
    std::string out;
    std::size_t keep = 0;  // length of `out` up to its last quoted or escaped character
    enum class Mode { bare, doubleQuoted, singleQuoted } mode = Mode::bare;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (mode) {
            case Mode::bare:
                if (c == '"') {
                    mode = Mode::doubleQuoted;
                } else if (c == '\'') {
                    mode = Mode::singleQuoted;
                } else if (c == '\\' && i + 1 < value.size()) {
                    out += value[++i];
                    keep = out.size();
                } else {
                    out += c;
                    if (kWhiteSpace.find(c) == std::string_view::npos) keep = out.size();
                }
                break;
            case Mode::doubleQuoted:
                if (c == '"') {
                    mode = Mode::bare;
                } else {
                    if (c == '\\' && i + 1 < value.size()) ++i;
                    out += value[i];
                }
                keep = out.size();
                break;
            case Mode::singleQuoted:
                if (c == '\'') {
                    mode = Mode::bare;
                } else {
                    out += c;
                }
                keep = out.size();
                break;
        }
    }
    out.resize(keep);
    return out;
}

}  // namespace

std::optional<std::string> prettyHostName(std::string_view machineInfo) {
    std::optional<std::string> found;
    while (!machineInfo.empty()) {
        const auto newline = machineInfo.find('\n');
        // Only the start is trimmed here: an escaped space may end the value.
        auto line = machineInfo.substr(0, newline);
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(kWhiteSpace)));
        machineInfo.remove_prefix(newline == std::string_view::npos ? machineInfo.size()
                                                                    : newline + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (trimmedView(line.substr(0, equals)) != "PRETTY_HOSTNAME") continue;
        // The last assignment wins, as when the file is sourced by a shell.
        auto value = line.substr(equals + 1);
        value.remove_prefix(std::min(value.size(), value.find_first_not_of(kWhiteSpace)));
        found = unquoted(value);
    }
    if (found && found->empty()) return std::nullopt;
    return found;
}

std::optional<std::string> localHostName() {
    if (auto info = readFile("/etc/machine-info"); info.ok()) {
        if (auto pretty = prettyHostName(*info)) return pretty;
    }
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
    return std::string(name);
}

}  // namespace brimwick
