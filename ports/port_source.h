#pragma once
// PortSource: what the OS tells about serial ports, as the port rules ask for
// it. The rules (ListSerialPorts) stay free of any OS; each OS gives a source
// (Linux sysfs, SetupAPI and the registry on Windows), tests a scripted one.
//
// Values come as the OS has them; the fixed buffer sizes of the rules (device
// path 256 characters, properties 255, registry names and values 127) are
// applied by the rules, not here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sn {

inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kPlatformNt = 2;

struct OsVersion {
    std::uint32_t error = 0;  // nonzero: the query failed with this code
    std::uint32_t major = 0;
    std::uint32_t platformId = 0;
};

enum class DeviceProperty { FriendlyName, Description, LocationInformation };

// A registry key handle of the source's; 0 is never a valid key.
using RegKey = std::uint64_t;
inline constexpr RegKey kHklm = 1;

class PortSource {
  public:
    PortSource() = default;
    PortSource(const PortSource&) = delete;
    PortSource& operator=(const PortSource&) = delete;
    virtual ~PortSource() = default;

    virtual OsVersion GetVersion() = 0;

    // The device-interface walk. Open returns 0 or an error code; Enum returns
    // 0, kErrorNoMoreItems past the end, or another error code; Detail returns
    // 0 and the device path, or an error code. Close is called on every way out
    // once Open succeeded.
    virtual std::uint32_t OpenInterfaceSet() = 0;
    virtual std::uint32_t EnumInterface(std::uint32_t index) = 0;
    virtual std::uint32_t GetInterfaceDetail(std::uint32_t index, std::string& devicePath) = 0;
    virtual std::optional<std::string> GetDeviceProperty(std::uint32_t index,
                                                         DeviceProperty which) = 0;
    virtual void CloseInterfaceSet() = 0;

    // The registry's hardware tree (HKLM\Enum and below).
    virtual std::optional<RegKey> OpenKey(RegKey parent, const std::string& name) = 0;
    virtual std::optional<std::string> EnumSubkey(RegKey key, std::uint32_t index) = 0;
    virtual std::optional<std::string> QueryValue(RegKey key, const std::string& name) = 0;
    virtual void CloseKey(RegKey key) = 0;

    // The presence test: can the device be opened right now?
    virtual bool CanOpen(const std::string& devicePath) = 0;

    // Port names the OS knows beyond the device interfaces (Windows's
    // HARDWARE\DEVICEMAP\SERIALCOMM), for display only: never a cradle.
    virtual std::vector<std::string> OtherSerialPorts() { return {}; }
};

}  // namespace sn
