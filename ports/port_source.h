#pragma once
// PortSource: the serial ports there are, one PortRecord each, filled the way
// each OS tells about its ports (sysfs on Linux; SetupAPI and the registry on
// Windows; a path named on the command line). The port rules
// (ListSerialPorts, ReportPorts) read records only, so they are the same on
// every OS.

#include <stdexcept>
#include <string>
#include <vector>

namespace sn {

struct PortRecord {
    std::string name;         // what the operator sees and picks: "COM12", "/dev/ttyUSB0"
    std::string path;         // what is opened (and presence-tested)
    std::string description;  // the device's own words: "CP2102N USB to UART Bridge Controller"
    // What port lists show: Windows's friendly name, "Silicon Labs CP210x USB
    // to UART Bridge (COM12)"; where the OS has none, the description.
    std::string friendlyName;
    bool isBridge = false;  // driven as the cradle's CP210x bridge
    bool isUsb = false;
    // Older Windows names its ports without telling what drives them: any of
    // them may be the cradle's, so each is offered for the cradle without
    // being shown as a bridge.
    bool unidentified = false;
};

// Raised when the OS refuses a query; what() is the message text itself, such
// as "SetupDiGetClassDevs failed. (err=5)". Everything the scan held has been
// released by the time it reaches the caller.
class PortListError : public std::runtime_error {
  public:
    explicit PortListError(const std::string& text) : std::runtime_error(text) {}
};

class PortSource {
  public:
    PortSource() = default;
    PortSource(const PortSource&) = delete;
    PortSource& operator=(const PortSource&) = delete;
    virtual ~PortSource() = default;

    // Every serial port there is now, bridges and others, in the OS's order.
    // Raises PortListError when the OS refuses to tell.
    virtual std::vector<PortRecord> Scan() = 0;
    // The presence test: can the port at `path` be opened right now?
    virtual bool CanOpen(const std::string& path) = 0;
};

}  // namespace sn
