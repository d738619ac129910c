#include "core/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

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
        if (at != std::string::npos)
            return static_cast<mode_t>(std::strtoul(status->c_str() + at + 6, nullptr, 8));
    }
    return 022;
}

constexpr std::string_view kTemporarySuffix = ".tmp-";
constexpr std::size_t kTemporaryRandomLength = 6;  // mkstemp's XXXXXX

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates "<path>.tmp-XXXXXX" and locks it. The lock marks the file as a live write; the
// check after locking catches a cleaner that removed the name between mkstemp and flock.
int createLockedTemporary(const std::string& path, std::string& temp) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp = path + std::string(kTemporarySuffix) + "XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat opened = {};
        struct stat named = {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            ::stat(temp.c_str(), &named) == 0 && sameFile(opened, named)) {
            return fd;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

std::string systemErrorText(int error) {
    return std::strerror(error);
}

Result<void> writeFileAtomically(const std::string& path, const std::string& data,
                                 std::optional<mode_t> mode) {
    std::string temp;
    const int fd = createLockedTemporary(path, temp);
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
    // Rename while the lock is still held, so no cleaner can take the file in between. The data
    // is already on disk, so a failing close afterwards loses nothing.
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
    ::close(fd);
    // Make the rename itself durable; a failure here no longer risks the data.
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

void removeAbandonedTemporaries(const std::string& path) {
    const std::string directory = directoryOf(path);
    const auto slash = path.find_last_of('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) +
                               std::string(kTemporarySuffix);
    DIR* listing = ::opendir(directory.c_str());
    if (!listing) return;
    const int dirFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kTemporaryRandomLength || !name.starts_with(prefix)) {
            continue;
        }
        const int fd =
            ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened = {};
        struct stat named = {};
        // Holding the lock means its writer is gone; the name must still be this very file.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            S_ISREG(opened.st_mode) &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(opened, named)) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(listing);
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
