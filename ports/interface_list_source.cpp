#include "ports/interface_list_source.h"

namespace sn {

ComInterface BridgeInterface(const std::string& devicePath, const std::string& location) {
    ComInterface c;
    c.devicePath = devicePath;
    c.friendlyName = BridgeFriendlyName(devicePath);
    c.description = kBridgeDescription;
    c.location = location;
    return c;
}

std::string BridgeFriendlyName(const std::string& portName) {
    return std::string(kBridgeDescription) + " (" + portName + ")";
}

OsVersion InterfaceListSource::GetVersion() {
    return OsVersion{0, 10, kPlatformNt};
}

std::uint32_t InterfaceListSource::OpenInterfaceSet() {
    interfaces_ = Scan();
    return 0;
}

std::uint32_t InterfaceListSource::EnumInterface(std::uint32_t index) {
    return index < interfaces_.size() ? 0 : kErrorNoMoreItems;
}

std::uint32_t InterfaceListSource::GetInterfaceDetail(std::uint32_t index,
                                                      std::string& devicePath) {
    if (index >= interfaces_.size()) {
        return kErrorNoMoreItems;
    }
    devicePath = interfaces_[index].devicePath;
    return 0;
}

std::optional<std::string> InterfaceListSource::GetDeviceProperty(std::uint32_t index,
                                                                  DeviceProperty which) {
    if (index >= interfaces_.size()) {
        return std::nullopt;
    }
    const ComInterface& c = interfaces_[index];
    switch (which) {
        case DeviceProperty::FriendlyName:
            return c.friendlyName;
        case DeviceProperty::Description:
            return c.description;
        case DeviceProperty::LocationInformation:
            return c.location;
    }
    return std::nullopt;
}

void InterfaceListSource::CloseInterfaceSet() {
    interfaces_.clear();
}

std::optional<RegKey> InterfaceListSource::OpenKey(RegKey, const std::string&) {
    return std::nullopt;
}

std::optional<std::string> InterfaceListSource::EnumSubkey(RegKey, std::uint32_t) {
    return std::nullopt;
}

std::optional<std::string> InterfaceListSource::QueryValue(RegKey, const std::string&) {
    return std::nullopt;
}

void InterfaceListSource::CloseKey(RegKey) {}

bool InterfaceListSource::CanOpen(const std::string& devicePath) {
    return DeviceCanBeOpened(devicePath);
}

}  // namespace sn
