// The device-interface path: bridge ports only, and the only path that tells
// whether a cradle is present.

#include "ports/friendly_name.h"
#include "ports/list_serial_ports.h"
#include "ports/port_paths.h"

namespace sn::detail {

namespace {

// Each property is read into 256 bytes, terminator included.
constexpr std::size_t kMaxProperty = 255;

class InterfaceSet {
  public:
    explicit InterfaceSet(PortSource& source) : source_(source) {
        if (const std::uint32_t e = source_.OpenInterfaceSet(); e != 0) {
            throw PortListError(ErrorText("SetupDiGetClassDevs failed.", e));
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;
    ~InterfaceSet() { source_.CloseInterfaceSet(); }

  private:
    PortSource& source_;
};

std::optional<std::string> ReadProperty(PortSource& source, std::uint32_t index,
                                        DeviceProperty which) {
    auto text = source.GetDeviceProperty(index, which);
    if (text && text->size() > kMaxProperty) {
        return std::nullopt;  // does not fit the buffer: the read fails
    }
    return text;
}

// Appends the interface when it is a bridge; false when it was skipped.
bool TakeInterface(PortList& ports, PortSource& source, std::uint32_t index,
                   const std::string& devicePath) {
    const auto friendly = ReadProperty(source, index, DeviceProperty::FriendlyName);
    if (!friendly) {
        return false;
    }
    const auto description = ReadProperty(source, index, DeviceProperty::Description);
    if (!description) {
        return false;
    }
    const auto location = ReadProperty(source, index, DeviceProperty::LocationInformation);
    const ParsedFriendlyName parsed = ParseFriendlyName(*friendly);
    if (!IsBridgeName(parsed.model)) {
        return false;
    }
    SSerInfo info;
    info.devicePath = devicePath;
    info.portName = parsed.port;
    info.friendlyName = *friendly;
    info.isUsb = location && location->compare(0, 3, "USB") == 0 ? 1 : 0;
    info.description = *description;
    ports.push_back(info);
    return true;
}

}  // namespace

void DeviceInterfacePath(PortList& ports, PortSource& source, PortSelection& selection) {
    InterfaceSet set(source);
    for (std::uint32_t index = 0;; ++index) {
        const std::uint32_t e = source.EnumInterface(index);
        if (e == kErrorNoMoreItems) {
            break;
        }
        if (e != 0) {
            throw PortListError(ErrorText("SetupDiEnumDeviceInterfaces failed.", e));
        }
        // An interface whose detail can't be had is skipped: ending the whole
        // scan there would hide a cradle that is present. The source sizes the
        // detail by the system's answer, so a long device path is no failure.
        std::string devicePath;
        if (source.GetInterfaceDetail(index, devicePath) != 0) {
            continue;
        }
        if (TakeInterface(ports, source, index, devicePath)) {
            selection.cradleMissing = 0;
        }
    }
}

}  // namespace sn::detail
