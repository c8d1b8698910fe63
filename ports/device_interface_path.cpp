// The device-interface path: every COM-port interface, bridges told by their
// friendly names. The only path that tells whether a cradle is present.

#include "ports/friendly_name.h"
#include "ports/port_paths.h"

namespace sn::detail {

namespace {

// Each property is read into 256 bytes, terminator included.
constexpr std::size_t kMaxProperty = 255;

class InterfaceSet {
  public:
    explicit InterfaceSet(WinPortApi& api) : api_(api) {
        if (const std::uint32_t e = api_.OpenInterfaceSet(); e != 0) {
            throw PortListError(ErrorText("SetupDiGetClassDevs failed.", e));
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;
    ~InterfaceSet() { api_.CloseInterfaceSet(); }

  private:
    WinPortApi& api_;
};

bool Fits(const std::optional<std::string>& text) {
    return text && text->size() <= kMaxProperty;
}

// A port is a bridge only when its friendly name and description both fit
// the rules' buffers; anything else is listed for display only.
PortRecord Describe(WinPortApi& api, std::uint32_t index, const std::string& devicePath) {
    const auto friendly = api.GetDeviceProperty(index, DeviceProperty::FriendlyName);
    const auto description = api.GetDeviceProperty(index, DeviceProperty::Description);
    const auto location = api.GetDeviceProperty(index, DeviceProperty::LocationInformation);
    PortRecord r;
    r.friendlyName = friendly.value_or(devicePath);
    const ParsedFriendlyName parsed = ParseFriendlyName(r.friendlyName);
    // Windows names the port in the friendly name's parentheses; an interface
    // without them is known by its device path alone.
    r.name = parsed.hasParenthesis ? parsed.port : devicePath;
    r.path = r.name;
    r.description = Fits(description) ? *description : std::string();
    r.isBridge = Fits(friendly) && Fits(description) && IsBridgeName(parsed.model);
    r.isUsb = Fits(location) && location->compare(0, 3, "USB") == 0;
    return r;
}

}  // namespace

void DeviceInterfacePath(std::vector<PortRecord>& ports, WinPortApi& api) {
    InterfaceSet set(api);
    for (std::uint32_t index = 0;; ++index) {
        const std::uint32_t e = api.EnumInterface(index);
        if (e == kErrorNoMoreItems) {
            break;
        }
        if (e != 0) {
            throw PortListError(ErrorText("SetupDiEnumDeviceInterfaces failed.", e));
        }
        // An interface whose detail can't be had is skipped: ending the whole
        // scan there would hide a cradle that is present. The API sizes the
        // detail by the system's answer, so a long device path is no failure.
        std::string devicePath;
        if (api.GetInterfaceDetail(index, devicePath) != 0) {
            continue;
        }
        ports.push_back(Describe(api, index, devicePath));
    }
}

}  // namespace sn::detail
