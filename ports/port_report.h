#pragma once
// Every serial port the system shows, bridge or not: what `sntool ports` lists.

#include <string>
#include <vector>

#include "ports/port_source.h"

namespace sn {

struct PortReport {
    std::string portName;  // from the friendly name's parentheses, else the device path
    std::string friendlyName;
    std::string devicePath;
    bool isBridge = false;
};

// Walks the device interfaces (the paths of older systems list no friendly
// names worth showing: their records come from ListSerialPorts), then adds
// the source's other serial ports that the walk did not list. Raises
// PortListError as ListSerialPorts does.
std::vector<PortReport> ReportPorts(PortSource& source);

}  // namespace sn
