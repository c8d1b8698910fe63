#pragma once
// A Windows port API that presents whatever a test scripts: any OS version,
// any device interfaces with any errors, any registry tree. It counts what is
// held, so tests can see that everything is released. As a PortSource it
// scans by the Windows rules, so the monitor and the dialog use it as they
// would SetupAPI.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/win_port_api.h"

namespace sn::testing {

struct ScriptedInterface {
    std::string devicePath;
    std::optional<std::string> friendlyName;
    std::optional<std::string> description;
    std::optional<std::string> location;
    std::uint32_t detailError = 0;
};

struct RegNode {
    std::string name;
    std::map<std::string, std::string> values;
    std::vector<RegNode> children;
    bool openFails = false;
};

class ScriptedPortSource final : public WinApiPortSource {
  public:
    OsVersion version{0, 10, kPlatformNt};
    std::uint32_t openSetError = 0;
    std::vector<ScriptedInterface> interfaces;
    // Enumeration fails with `code` at `index` (instead of the interface there).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> enumError;
    RegNode hklm{"HKLM", {}, {}, false};
    std::set<std::string> openable;  // paths the presence test can open
    std::vector<std::string> otherPorts;

    int setsOpen = 0;
    int keysOpen = 0;
    std::vector<std::string> presenceTested;

    OsVersion GetVersion() override { return version; }
    std::uint32_t OpenInterfaceSet() override;
    std::uint32_t EnumInterface(std::uint32_t index) override;
    std::uint32_t GetInterfaceDetail(std::uint32_t index, std::string& devicePath) override;
    std::optional<std::string> GetDeviceProperty(std::uint32_t index,
                                                 DeviceProperty which) override;
    void CloseInterfaceSet() override { --setsOpen; }
    std::optional<RegKey> OpenKey(RegKey parent, const std::string& name) override;
    std::optional<std::string> EnumSubkey(RegKey key, std::uint32_t index) override;
    std::optional<std::string> QueryValue(RegKey key, const std::string& name) override;
    void CloseKey(RegKey key) override;
    bool CanOpen(const std::string& path) override;
    std::vector<std::string> OtherSerialPorts() override { return otherPorts; }

  private:
    std::map<RegKey, const RegNode*> handles_;
    RegKey next_ = 100;
};

}  // namespace sn::testing
