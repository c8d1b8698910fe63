#pragma once
// A source that finds its ports by itself, as records: the Linux sysfs scan,
// the port named on the command line, a simulated cradle. Its presence test
// opens the port.

#include <string>

#include "ports/port_source.h"

namespace sn {

class ListedPortSource : public PortSource {
  public:
    bool CanOpen(const std::string& path) override;
};

inline constexpr const char* kBridgeDescription = "Silicon Labs CP210x USB to UART Bridge";

// One USB cradle bridge, named and opened by `path`.
PortRecord BridgeRecord(const std::string& path);

// What port lists show for such a bridge: on Windows the friendly name the
// bridge's driver would give it, "Silicon Labs CP210x USB to UART Bridge
// (COM7)", as SetupAPI shows a real one; elsewhere the description. One
// implementation per OS.
std::string BridgeFriendlyName(const std::string& name);

// Whether the device can be opened for reading and writing right now (the
// presence test). One implementation per OS.
bool DeviceCanBeOpened(const std::string& path);
// Whether a port named on the command line exists right now (a path on
// POSIX; a device name such as COM7, or a path, on Windows). One
// implementation per OS.
bool PortPathExists(const std::string& path);

}  // namespace sn
