// Parsing JSON that comes from outside the process: peers on the network, other programs, files
// that others may have written. Copying, comparing or printing a parsed value recurses once per
// level of nesting, so a text nested a hundred thousand levels deep would exhaust the stack of
// whoever touches it; such texts are refused here, before they become values.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

namespace brimwick {

// Far beyond any real payload, settings file or answer, and far below what a thread's stack holds.
inline constexpr std::size_t kMaxJsonNesting = 256;

// The parsed value, or a discarded value (`is_discarded()`, which is neither an object nor an
// array) when the text is not JSON or nests arrays and objects deeper than `maxNesting`. Never
// throws.
nlohmann::json parseJsonInput(std::string_view text, std::size_t maxNesting = kMaxJsonNesting);

// Whether the arrays and objects of a JSON text nest at most `maxNesting` deep. Brackets inside
// strings do not count. Linear in the text and without recursion, whatever the text holds.
bool jsonNestsWithin(std::string_view text, std::size_t maxNesting);

}  // namespace brimwick
