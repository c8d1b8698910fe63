#pragma once
// The OS's own source of serial ports: sysfs on Linux, SetupAPI and the
// registry on Windows. One implementation per OS.

#include <memory>

#include "ports/port_source.h"

namespace sn {

std::unique_ptr<PortSource> MakeSystemPortSource();

}  // namespace sn
