#pragma once
// What the command line adds to the OS's own words. One implementation per OS.

#include <string>

namespace sn::cli {

bool StdoutIsTerminal();
// For a port that could not be opened: how to fix it, or "" (for permission
// denied on Linux: the udev rule of the package, and the device's group
// where joining it would give access).
std::string FixFor(const std::string& devicePath, const std::string& osReason);

}  // namespace sn::cli
