#include "core/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <string_view>
#include <unistd.h>

namespace brimwick {
namespace {

Error writeError(const std::string& path, int error) {
    return Error{"write", "Couldn't write " + path + ": " + systemErrorText(error)};
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Read from /proc rather than with umask(2), which would briefly change it for every thread.
mode_t currentUmask() {
    auto status = readFile("/proc/self/status");
    if (status.ok()) {
        const auto at = status->find("Umask:");
        if (at != std::string::npos) return static_cast<mode_t>(std::strtoul(status->c_str() + at + 6, nullptr, 8));
    }
    return 022;
}

}  // namespace

std::string systemErrorText(int error) { return std::strerror(error); }

Result<void> writeFileAtomically(const std::string& path, const std::string& data,
                                 std::optional<mode_t> mode) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return writeError(path, errno);

    const auto fail = [&](int error) -> Result<void> {
        ::close(fd);
        ::unlink(temp.c_str());
        return writeError(path, error);
    };
    // mkstemp creates the file 0600; give it the mode a plain create would have had.
    if (::fchmod(fd, mode.value_or(0644 & ~currentUmask())) != 0) return fail(errno);
    if (!writeAll(fd, data)) return fail(errno);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return writeError(path, error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return writeError(path, error);
    }
    // Make the rename itself durable; a failure here no longer risks the data.
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

Result<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Error{error == ENOENT ? "notFound" : "read",
                     "Couldn't read " + path + ": " + systemErrorText(error)};
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return Error{"read", "Couldn't read " + path + ": " + systemErrorText(error)};
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

}  // namespace brimwick
