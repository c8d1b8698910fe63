#pragma once
// The ports as Windows reports them: the COM-port device interfaces through
// SetupAPI, the registry's hardware tree through the registry functions, and
// the names in HARDWARE\DEVICEMAP\SERIALCOMM for display.

#include <windows.h>

#include <setupapi.h>

#include <map>
#include <vector>

#include "ports/win_port_api.h"

namespace sn {

class SetupApiPortSource final : public WinApiPortSource {
  public:
    SetupApiPortSource() = default;
    ~SetupApiPortSource() override;

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
    bool CanOpen(const std::string& path) override;
    std::vector<std::string> OtherSerialPorts() override;

  private:
    HKEY KeyFor(RegKey key) const;

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    // The device behind each interface whose detail was read, by index.
    std::map<std::uint32_t, SP_DEVINFO_DATA> devices_;
    std::map<RegKey, HKEY> keys_;
    RegKey nextKey_ = kHklm + 1;
};

}  // namespace sn
