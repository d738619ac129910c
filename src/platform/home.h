// The user's home directory: $HOME, else the password database.
#pragma once

#include <string>

namespace brimwick {

std::string homeDirectory();

}  // namespace brimwick
