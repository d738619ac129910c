#include <sys/stat.h>

#include "core/atomic_file.h"
#include "platform/home.h"
#include "platform/login_record.h"

namespace brimwick {

LoginRecordFile::LoginRecordFile(std::string path) : path_(std::move(path)) {}

std::string LoginRecordFile::defaultPath() {
    return homeDirectory() + "/.claude/.credentials.json";
}

std::optional<std::string> LoginRecordFile::read(std::stop_token) const {
    // A login record is a few hundred bytes; anything huge is not one.
    struct stat info = {};
    if (::stat(path_.c_str(), &info) == 0 && info.st_size > 1024 * 1024) return std::nullopt;
    auto bytes = readFile(path_);
    if (!bytes.ok()) return std::nullopt;
    return std::move(*bytes);
}

}  // namespace brimwick
