#pragma once
// A PortSource for systems that can list their serial ports up front: it
// presents them through the device-interface walk, as a present-day Windows
// does, and has no registry hardware tree. The Linux sysfs source and the
// explicit --port source are built on it.

#include <optional>
#include <string>
#include <vector>

#include "ports/port_source.h"

namespace sn {

struct ComInterface {
    std::string devicePath;
    std::optional<std::string> friendlyName;
    std::optional<std::string> description;
    std::optional<std::string> location;
};

class InterfaceListSource : public PortSource {
  public:
    OsVersion GetVersion() override;
    std::uint32_t OpenInterfaceSet() override;
    std::uint32_t EnumInterface(std::uint32_t index) override;
    std::uint32_t GetInterfaceDetail(std::uint32_t index, std::string& devicePath) override;
    std::optional<std::string> GetDeviceProperty(std::uint32_t index,
                                                 DeviceProperty which) override;
    void CloseInterfaceSet() override;
    std::optional<RegKey> OpenKey(RegKey parent, const std::string& name) override;
    std::optional<std::string> EnumSubkey(RegKey key, std::uint32_t index) override;
    std::optional<std::string> QueryValue(RegKey key, const std::string& name) override;
    void CloseKey(RegKey key) override;
    bool CanOpen(const std::string& devicePath) override;

  protected:
    // The ports as they are now, in a stable order.
    virtual std::vector<ComInterface> Scan() = 0;

  private:
    std::vector<ComInterface> interfaces_;
};

// The friendly name the bridge's own driver gives a port: the bridge name, a
// blank, and the port's name in parentheses.
std::string BridgeFriendlyName(const std::string& portName);
inline constexpr const char* kBridgeDescription = "Silicon Labs CP210x USB to UART Bridge";
// One cradle bridge at `devicePath`, presented as the vendor's driver does.
ComInterface BridgeInterface(const std::string& devicePath, const std::string& location);

// Whether the device can be opened for reading and writing right now (the
// presence test). One implementation per OS.
bool DeviceCanBeOpened(const std::string& devicePath);
// Whether a port named on the command line exists right now (a path on
// POSIX; a device name such as COM7, or a path, on Windows). One
// implementation per OS.
bool PortPathExists(const std::string& path);

}  // namespace sn
