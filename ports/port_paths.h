#pragma once
// The three ways of finding ports, chosen by the OS version. Internal to
// ListSerialPorts.

#include <cstdint>
#include <string>

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn::detail {

// "<what> (err=<code in lower-case hex>)"
std::string ErrorText(const char* what, std::uint32_t code);

void DeviceInterfacePath(PortList& ports, PortSource& source, PortSelection& selection);
void NumberedPath(PortList& ports);
void EnumKeyPath(PortList& ports, PortSource& source);

}  // namespace sn::detail
