#pragma once
// SSerInfo (one serial port found) and PortSelection (which port to open).

#include <atomic>
#include <string>
#include <vector>

namespace sn {

struct SSerInfo {
    std::string devicePath;    // the name the port is opened under
    std::string portName;      // such as COM3 or ttyUSB0: what callers use
    std::string friendlyName;  // for display; a bridge's ends in "(portName)"
    int isUsb = 0;
    std::string description;
};

using PortList = std::vector<SSerInfo>;

// The port choice. The System Configuration dialog sets it, the monitor reads
// it, the enumeration clears cradleMissing for every bridge it lists. The
// choice lives in memory only.
//
// Threads: the integer fields are atomics. chosenPortName is written only while
// the monitor is stopped (the dialog stops it) and read by the monitor after it
// has been started again, which orders the two.
struct PortSelection {
    std::atomic<int> autoSelect{1};
    std::atomic<int> portConfirmed{0};
    std::string chosenPortName;
    std::atomic<int> cradleMissing{0};
};

PortSelection& ProcessPortSelection();

}  // namespace sn
