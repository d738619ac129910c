// Whole-file reads and crash-safe writes: a reader sees either the old file or the new one.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "core/result.h"

namespace brimwick {

// Writes `data` to a temporary file in `path`'s directory, flushes and fsyncs it, then renames
// it over `path` and fsyncs the directory. `mode` sets the permission bits of the new file
// (default 0644 before the umask). On failure the old file is untouched and the temporary
// file is removed. Error codes: "write" with the system's description.
// The temporary file ("<path>.tmp-XXXXXX") stays locked (flock) while it is being written, so
// removeAbandonedTemporaries can tell a live write from one whose process died.
Result<void> writeFileAtomically(const std::string& path, const std::string& data,
                                 std::optional<mode_t> mode = std::nullopt);

// Deletes the temporary files that writeFileAtomically left beside `path` when its process was
// killed mid-write. Files of a write still in progress (in any process) are locked and kept.
// Best effort: errors are ignored.
void removeAbandonedTemporaries(const std::string& path);

// Reads a whole file. Error code "notFound" when it does not exist, "read" otherwise.
Result<std::string> readFile(const std::string& path);

// The text of errno, as strerror gives it.
std::string systemErrorText(int error);

}  // namespace brimwick
