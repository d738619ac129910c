// Fuzz targets: one entry function per decoder that reads bytes from outside. The same functions
// run under libFuzzer (fuzz/CMakeLists.txt) and replay the committed corpora in the test suite.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace brimwick::fuzz {

// Thrown when a decoder breaks one of its promises. Under libFuzzer the uncaught exception
// aborts, which is reported as a crash with the input saved.
struct Broken : std::logic_error {
    using std::logic_error::logic_error;
};

inline void expect(bool ok, const char* promise) {
    if (!ok) throw Broken(promise);
}

void httpRequest(std::string_view bytes);
void hookEvent(std::string_view bytes);
void hookInstaller(std::string_view bytes);
void phoneRequests(std::string_view bytes);
void credentials(std::string_view bytes);
void usageDecode(std::string_view bytes);

// Folder names under fuzz/corpus/ and the function each one feeds.
inline constexpr std::pair<const char*, void (*)(std::string_view)> kTargets[] = {
    {"http_request", httpRequest},     {"hook_event", hookEvent},
    {"hook_installer", hookInstaller}, {"phone_requests", phoneRequests},
    {"credentials", credentials},      {"usage_decode", usageDecode}};

}  // namespace brimwick::fuzz

// Each fuzz_<name>.cpp ends with this; it only expands in the libFuzzer build.
#ifdef BRIMWICK_LIBFUZZER
#define BRIMWICK_FUZZ_ENTRY(function)                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        brimwick::fuzz::function({reinterpret_cast<const char*>(data), size});          \
        return 0;                                                                       \
    }
#else
#define BRIMWICK_FUZZ_ENTRY(function)
#endif
