#pragma once
// How Windows is asked to open a port. Windows only.

#include <string>

namespace sn {

// The name CreateFile is given for the port at `path`: from port number 5 on
// (the digits after the first three characters) the device prefix "\\.\"
// goes in front: COM10 and above are found only with it, and from COM5 on it
// has always been added, harmlessly. Anything else (a device path, a pipe) is
// opened as it is.
std::string WinDeviceName(const std::string& path);

}  // namespace sn
