#include "core/text.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

namespace brimwick::text {
namespace {

// ASCII without carriage returns: every byte is its own grapheme cluster (CR LF is one).
bool isSimpleAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80 || c == '\r') return false;
    }
    return true;
}

// Creating a break iterator is expensive; each thread keeps one.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    return iterator.get();
}

// Calls `visit(byteOffset)` at each grapheme boundary after the start until it returns false.
template <typename Visit>
void forEachBoundary(std::string_view s, Visit visit) {
    auto* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    if (!it || U_FAILURE(status)) {
        // Without ICU data fall back to code points.
        for (int32_t i = 0; i < static_cast<int32_t>(s.size());) {
            UChar32 c;
            U8_NEXT(s.data(), i, static_cast<int32_t>(s.size()), c);
            if (!visit(static_cast<std::size_t>(i))) break;
        }
        utext_close(ut);
        return;
    }
    it->setText(ut, status);
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; end = it->next()) {
        if (!visit(static_cast<std::size_t>(end))) break;
    }
    // Detach before closing so the iterator does not keep a dangling text.
    UText* empty = utext_openUTF8(nullptr, "", 0, &status);
    it->setText(empty, status);
    utext_close(ut);
    utext_close(empty);
}

}  // namespace

std::size_t characterCount(std::string_view utf8) {
    if (isSimpleAscii(utf8)) return utf8.size();
    std::size_t count = 0;
    forEachBoundary(utf8, [&](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string prefix(std::string_view utf8, std::size_t count) {
    if (isSimpleAscii(utf8)) return std::string(utf8.substr(0, count));
    if (count == 0) return {};
    std::size_t seen = 0;
    std::size_t cut = utf8.size();
    forEachBoundary(utf8, [&](std::size_t end) {
        if (++seen == count) {
            cut = end;
            return false;
        }
        return true;
    });
    return std::string(utf8.substr(0, cut));
}

std::string trimmed(std::string_view utf8) {
    const auto* p = utf8.data();
    const auto n = static_cast<int32_t>(utf8.size());
    int32_t start = 0;
    while (start < n) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(p, next, n, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        start = next;
    }
    int32_t end = n;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(p, 0, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return std::string(utf8.substr(start, end - start));
}

std::string lowercased(std::string_view utf8) {
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    s.toLower(icu::Locale::getRoot());
    std::string out;
    s.toUTF8String(out);
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* p = bytes.data();
    const auto n = static_cast<int32_t>(bytes.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) return false;
    }
    return true;
}

std::string lastPathComponent(std::string_view path) {
    const std::size_t last = path.find_last_not_of('/');
    if (last == std::string_view::npos) return path.empty() ? std::string() : std::string("/");
    const std::string_view trimmed = path.substr(0, last + 1);
    const std::size_t slash = trimmed.rfind('/');
    return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string prefixBytes(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    std::size_t cut = maxBytes;
    // Back off to the start of the sequence the cut falls in (at most three continuation bytes).
    while (cut > 0 && maxBytes - cut < 3 &&
           (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(utf8.substr(0, cut));
}

std::string displayable(std::string_view utf8, bool keepLineBreaks) {
    const auto* p = utf8.data();
    const auto n = static_cast<int32_t>(utf8.size());
    std::string out;
    out.reserve(utf8.size());
    for (int32_t i = 0; i < n;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c < 0) continue;
        if (c == '\n' || c == 0x85 || c == 0x2028 || c == 0x2029) {
            out += keepLineBreaks ? '\n' : ' ';
            continue;
        }
        if (c == '\r') {
            if (!keepLineBreaks) out += ' ';  // CR LF is one line break
            continue;
        }
        if (c == '\t') {
            out += ' ';
            continue;
        }
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        const bool bidi = (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
        if (!control && !bidi) out.append(p + start, static_cast<std::size_t>(i - start));
    }
    return out;
}

}  // namespace brimwick::text
