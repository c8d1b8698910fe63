#pragma once
// The Windows side of the port rules: WinPortApi is what SetupAPI, the
// registry and GetVersion tell, as the rules ask for it; ScanWindowsPorts
// turns their answers into records. The rules stay free of Windows itself, so
// a scripted API tries them on any OS.
//
// Values come as Windows has them; the fixed buffer sizes of the rules (device
// path 256 characters, properties 255, registry names and values 127) are
// applied by the rules, not here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/port_source.h"

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

// A registry key handle of the API's; 0 is never a valid key.
using RegKey = std::uint64_t;
inline constexpr RegKey kHklm = 1;

class WinPortApi {
  public:
    WinPortApi() = default;
    WinPortApi(const WinPortApi&) = delete;
    WinPortApi& operator=(const WinPortApi&) = delete;
    virtual ~WinPortApi() = default;

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

    // Port names known beyond the device interfaces (the registry's
    // HARDWARE\DEVICEMAP\SERIALCOMM), for display only: never a cradle.
    virtual std::vector<std::string> OtherSerialPorts() { return {}; }
};

// One of the four names under which the bridge's driver presents it. Letter
// case and the trailing blank count.
bool IsBridgeName(std::string_view text);

// The ports by the rules of the Windows version at hand: the device-interface
// walk (bridges told by their friendly names, then the SERIALCOMM names), the
// numbered COM1..COM16, or the registry's Enum key (both unidentified). Every
// record is named and opened by its COM name, with the friendly name and the
// description defaulted from it. Raises PortListError as PortSource::Scan does.
std::vector<PortRecord> ScanWindowsPorts(WinPortApi& api);

// A PortSource over a Windows API: scans by the rules above; the presence
// test is the implementation's.
class WinApiPortSource : public PortSource, public WinPortApi {
  public:
    std::vector<PortRecord> Scan() final { return ScanWindowsPorts(*this); }
};

}  // namespace sn
