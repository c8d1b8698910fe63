#pragma once
// The three ways of finding ports on Windows, chosen by the version. Internal
// to ScanWindowsPorts.

#include <cstdint>
#include <string>
#include <vector>

#include "ports/win_port_api.h"

namespace sn::detail {

// "<what> (err=<code in lower-case hex>)"
std::string ErrorText(const char* what, std::uint32_t code);

void DeviceInterfacePath(std::vector<PortRecord>& ports, WinPortApi& api);
void NumberedPath(std::vector<PortRecord>& ports);
void EnumKeyPath(std::vector<PortRecord>& ports, WinPortApi& api);

}  // namespace sn::detail
