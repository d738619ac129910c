// The user's home directory ($HOME, else the password database) and config folder.
#pragma once

#include <string>

namespace brimwick {

std::string homeDirectory();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string configHome();

}  // namespace brimwick
