// Phone status lines: the phone link's state as plain text lines, for the headless runner.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brimwick {

class PhoneLink;

// "phone: <status>" (the status may be empty), then while a code is valid
// "Pairing code: 123 456" and the pairing URL (when there is one), then "app: <phone app URL>"
// while there is one, then "paired: <device>" while a phone has just paired. Main thread.
std::vector<std::string> phoneStatusLines(const PhoneLink& link);

// http://ADDRESS:PORT/app, the browser page a phone on the same network can open: only while
// the server runs and the computer has a network address. Main thread.
std::optional<std::string> phoneAppURL(const PhoneLink& link);

// The line for a phone that has just paired: "paired: <device>".
std::string pairedLine(const std::string& device);

}  // namespace brimwick
