// Host name: the name people know this machine by, shown to phones and used as the DNS-SD
// service name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brimwick {

// The PRETTY_HOSTNAME value of an /etc/machine-info text (shell-style assignments), with
// double quotes, single quotes and backslash escapes undone. None when absent or empty.
std::optional<std::string> prettyHostName(std::string_view machineInfo);

// The pretty host name from /etc/machine-info, else gethostname(), else nothing. Any thread.
std::optional<std::string> localHostName();

}  // namespace brimwick
