#include "platform/home.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace brimwick {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::string configHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return config && config[0] == '/' ? std::string(config) : homeDirectory() + "/.config";
}

}  // namespace brimwick
