#pragma once
// Every serial port the system shows, bridge or not: what `sntool ports` lists.

#include <string>
#include <vector>

#include "ports/port_source.h"

namespace sn {

struct PortReport {
    std::string portName;  // "COM3", "/dev/ttyUSB0"
    std::string friendlyName;
    std::string devicePath;
    bool isBridge = false;
};

// The source's ports, all of them, in its order. Raises PortListError as
// ListSerialPorts does.
std::vector<PortReport> ReportPorts(PortSource& source);

}  // namespace sn
