#pragma once
// How a port name given to the link becomes a device path on a POSIX system.

#include <string>
#include <string_view>

namespace sn {

// "ttyUSB0" -> "/dev/ttyUSB0"; a name with a '/' is a path and stays as it is.
// The Windows device prefix "\\.\" that the monitor puts before high port
// numbers means nothing here and is dropped.
std::string PosixDevicePath(std::string_view name);

}  // namespace sn
