// Whole-file reads and crash-safe writes: a reader sees either the old file or the new one.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "core/result.h"

namespace brimwick {

// Writes `data` to a temporary file in `path`'s directory, flushes and fsyncs it, then renames
// it over `path` and fsyncs the directory. `mode` sets the permission bits of the new file
// (default 0644 before the umask). On failure the old file is untouched and the temporary
// file is removed. Error codes: "write" with the system's description.
Result<void> writeFileAtomically(const std::string& path, const std::string& data,
                                 std::optional<mode_t> mode = std::nullopt);

// Reads a whole file. Error code "notFound" when it does not exist, "read" otherwise.
Result<std::string> readFile(const std::string& path);

// The text of errno, as strerror gives it.
std::string systemErrorText(int error);

}  // namespace brimwick
