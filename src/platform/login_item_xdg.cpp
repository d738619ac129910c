#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/atomic_file.h"
#include "platform/home.h"
#include "platform/login_item.h"

namespace brimwick {
namespace {

// Exec quoting of desktop entries: reserved characters force double quotes, inside which
// `"`, `` ` ``, `$` and `\` take a backslash; then the string-value escape doubles every
// backslash again, and `%` is written `%%` because it introduces field codes.
std::string execValue(const std::string& path) {
    bool quote = false;
    for (char c : path) {
        if (std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos) {
            quote = true;
        }
    }
    std::string argument;
    if (quote) argument += '"';
    for (char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        argument += c;
    }
    if (quote) argument += '"';
    std::string out;
    for (char c : argument) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '%') {
            out += "%%";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::string configHome, std::string executable)
    : path_(std::move(configHome) + "/autostart/brimwick.desktop"),
      executable_(std::move(executable)) {}

XdgAutostartLoginItem XdgAutostartLoginItem::forCurrentUser() {
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return XdgAutostartLoginItem(configHome(), error ? "brimwick" : exe.string());
}

std::string XdgAutostartLoginItem::desktopEntry(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Brimwick\n"
           "Comment=Follow your Claude Code sessions\n"
           "Exec=" +
           execValue(executable) +
           "\n"
           "Icon=brimwick\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string XdgAutostartLoginItem::folder() const {
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    const std::string home = homeDirectory();
    if (!home.empty() && home != "/" && folder.starts_with(home + "/")) {
        return "~" + folder.substr(home.size());
    }
    return folder;
}

bool XdgAutostartLoginItem::enabled() const {
    return ::access(path_.c_str(), F_OK) == 0;
}

Result<void> XdgAutostartLoginItem::setEnabled(bool on) {
    if (!on) {
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
            return Error{"loginItem", systemErrorText(errno)};
        }
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
    if (error) return Error{"loginItem", error.message()};
    auto written = writeFileAtomically(path_, desktopEntry(executable_));
    if (!written) return Error{"loginItem", written.error().message};
    return {};
}

}  // namespace brimwick
