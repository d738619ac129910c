#include "core/json_input.h"

namespace brimwick {

bool jsonNestsWithin(std::string_view text, std::size_t maxNesting) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > maxNesting) return false;
                break;
            case ']':
            case '}':
                // Unbalanced closers make the text malformed; the parser refuses it.
                if (depth > 0) --depth;
                break;
            default:
                break;
        }
    }
    return true;
}

nlohmann::json parseJsonInput(std::string_view text, std::size_t maxNesting) {
    if (!jsonNestsWithin(text, maxNesting))
        return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
}

}  // namespace brimwick
