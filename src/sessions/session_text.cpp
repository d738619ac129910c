#include "sessions/session_text.h"

#include <algorithm>
#include <initializer_list>

#include "core/text.h"

namespace brimwick::session_text {
namespace {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAsciiAlnum(char c) {
    return isAsciiAlpha(c) || isAsciiDigit(c);
}

bool isScheme(std::string_view s) {
    if (s.empty() || !isAsciiAlpha(s.front())) return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return isAsciiAlnum(c) || c == '+' || c == '-' || c == '.'; });
}

// A registered name: unreserved, percent escapes, sub-delimiters, and UTF-8 for
// internationalised names. Anything else (spaces, controls, quotes, backslashes) means the
// text was not a URL.
bool isRegName(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) return true;
        if (isAsciiAlnum(c)) return true;
        return std::string_view("-._~%!$&'()*+,;=").find(c) != std::string_view::npos;
    });
}

// Inside brackets: an IPv6 address (optionally with a zone) or an IPvFuture literal.
bool isIpLiteral(std::string_view s) {
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return isAsciiAlnum(c) || std::string_view(":.%-_~").find(c) != std::string_view::npos;
    });
}

bool isPort(std::string_view s) {
    return std::all_of(s.begin(), s.end(), isAsciiDigit);
}

// The second non-empty piece of "mcp__server__tool" split at underscores.
std::string mcpServer(std::string_view name) {
    int piece = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('_', start), name.size());
        if (end > start && ++piece == 2) return std::string(name.substr(start, end - start));
        start = end + 1;
    }
    return {};
}

}  // namespace

std::string firstNonEmptyLine(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) return std::string(line);
        start = end + 1;
    }
    return {};
}

std::optional<std::string> urlHost(std::string_view url) {
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || !isScheme(url.substr(0, colon))) return std::nullopt;
    std::string_view rest = url.substr(colon + 1);
    if (rest.substr(0, 2) != "//") return std::nullopt;
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }

    std::string_view host;
    std::string_view afterHost;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
        afterHost = authority.substr(close + 1);
        if (!isIpLiteral(host)) return std::nullopt;
    } else {
        const std::size_t portColon = authority.find(':');
        host = authority.substr(0, portColon);
        afterHost =
            portColon == std::string_view::npos ? std::string_view() : authority.substr(portColon);
        if (!isRegName(host)) return std::nullopt;
    }
    if (!afterHost.empty() && (afterHost.front() != ':' || !isPort(afterHost.substr(1)))) {
        return std::nullopt;
    }
    if (host.empty()) return std::nullopt;
    return std::string(host);
}

std::optional<std::string> taskText(const std::optional<std::string>& prompt) {
    if (!prompt) return std::nullopt;
    const std::string trimmedPrompt = text::trimmed(*prompt);
    if (trimmedPrompt.empty()) return std::nullopt;
    return text::displayable(text::prefix(firstNonEmptyLine(trimmedPrompt), kTaskLength));
}

namespace {

std::optional<std::string> describeTool(const std::optional<std::string>& tool,
                                        const std::optional<std::string>& detail) {
    if (!tool) return std::nullopt;
    const std::string& name = *tool;
    const std::string d = detail ? text::trimmed(*detail) : std::string();
    const std::string file = text::lastPathComponent(d);
    const std::string line = text::prefix(firstNonEmptyLine(d), kActivityLineLength);

    auto either = [](const std::string& part, std::string_view lead, std::string_view fallback) {
        return part.empty() ? std::string(fallback) : std::string(lead) + part;
    };
    if (name == "Bash") return either(line, "Running ", "Running a command");
    if (isOneOf(name, {"Edit", "MultiEdit", "Write", "NotebookEdit"})) {
        return either(file, "Editing ", "Editing files");
    }
    if (isOneOf(name, {"Read", "NotebookRead"})) return either(file, "Reading ", "Reading files");
    if (isOneOf(name, {"Grep", "Glob", "LS"})) {
        return either(line, "Searching ", "Searching the code");
    }
    if (name == "WebFetch") return "Fetching " + urlHost(d).value_or("a page");
    if (name == "WebSearch") return either(line, "Searching the web for ", "Searching the web");
    if (isOneOf(name, {"Task", "Agent"})) return "Running an agent";
    if (name == "TodoWrite") return "Planning";
    if (name == "AskUserQuestion") return "Asking you a question";
    if (name == "ExitPlanMode") return "Presenting a plan";
    if (name.starts_with("mcp__")) return either(mcpServer(name), "Using ", "Using a tool");
    // A nameless tool would otherwise read "Using " with nothing after it.
    return either(name, "Using ", "Using a tool");
}

}  // namespace

std::optional<std::string> activityText(const std::optional<std::string>& tool,
                                        const std::optional<std::string>& detail) {
    auto activity = describeTool(tool, detail);
    if (activity) *activity = text::displayable(*activity);
    return activity;
}

BotState stateForTool(const std::optional<std::string>& tool) {
    const std::string_view name = tool ? std::string_view(*tool) : std::string_view();
    if (isOneOf(name, {"Read", "Grep", "Glob", "LS", "WebSearch", "WebFetch", "NotebookRead"})) {
        return BotState::searching;
    }
    if (isOneOf(name, {"AskUserQuestion", "ExitPlanMode"})) return BotState::question;
    return BotState::working;
}

}  // namespace brimwick::session_text
