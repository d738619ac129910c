// Unicode text helpers: lengths in user-perceived characters, trimming, lower-casing.
// All strings are UTF-8. Invalid UTF-8 is treated leniently (each bad byte counts as a character).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brimwick::text {

// Number of user-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view utf8);

// The first `count` user-perceived characters; never splits one.
std::string prefix(std::string_view utf8, std::size_t count);

// Removes Unicode white space and line breaks from both ends.
std::string trimmed(std::string_view utf8);

// Lower-cases with the root locale's rules.
std::string lowercased(std::string_view utf8);

bool isValidUtf8(std::string_view bytes);

// The last component of a path, trailing slashes ignored: "/a/b/" -> "b". A path of only
// slashes gives "/", the empty path gives empty text.
std::string lastPathComponent(std::string_view path);

// RFC 3986 percent-encoding: everything but ASCII letters, digits and "-._~".
std::string percentEncoded(std::string_view text);

// At most `maxBytes` bytes of the text, never splitting a UTF-8 sequence.
std::string prefixBytes(std::string_view utf8, std::size_t maxBytes);

// Text from a peer made safe to show: tabs and line breaks become spaces (or stay line feeds
// with `keepLineBreaks`), other control characters (C0, DEL, C1) and the bidirectional
// embedding, override and isolate characters are dropped, so nothing received can forge a line
// of output, move the cursor or show a command in another order than it runs. Invalid UTF-8
// bytes are dropped too.
std::string displayable(std::string_view utf8, bool keepLineBreaks = false);

}  // namespace brimwick::text
