#include "tests/support/scripted_port_source.h"

namespace sn::testing {

std::uint32_t ScriptedPortSource::OpenInterfaceSet() {
    if (openSetError != 0) {
        return openSetError;
    }
    ++setsOpen;
    return 0;
}

std::uint32_t ScriptedPortSource::EnumInterface(std::uint32_t index) {
    if (enumError && enumError->first == index) {
        return enumError->second;
    }
    return index < interfaces.size() ? 0 : kErrorNoMoreItems;
}

std::uint32_t ScriptedPortSource::GetInterfaceDetail(std::uint32_t index, std::string& devicePath) {
    const ScriptedInterface& i = interfaces.at(index);
    if (i.detailError != 0) {
        return i.detailError;
    }
    devicePath = i.devicePath;
    return 0;
}

std::optional<std::string> ScriptedPortSource::GetDeviceProperty(std::uint32_t index,
                                                                 DeviceProperty which) {
    const ScriptedInterface& i = interfaces.at(index);
    switch (which) {
        case DeviceProperty::FriendlyName:
            return i.friendlyName;
        case DeviceProperty::Description:
            return i.description;
        case DeviceProperty::LocationInformation:
            return i.location;
    }
    return std::nullopt;
}

std::optional<RegKey> ScriptedPortSource::OpenKey(RegKey parent, const std::string& name) {
    const RegNode* p = parent == kHklm ? &hklm : handles_.at(parent);
    for (const RegNode& child : p->children) {
        if (child.name == name) {
            if (child.openFails) {
                return std::nullopt;
            }
            handles_[next_] = &child;
            ++keysOpen;
            return next_++;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ScriptedPortSource::EnumSubkey(RegKey key, std::uint32_t index) {
    const RegNode* node = handles_.at(key);
    if (index >= node->children.size()) {
        return std::nullopt;
    }
    return node->children[index].name;
}

std::optional<std::string> ScriptedPortSource::QueryValue(RegKey key, const std::string& name) {
    const RegNode* node = handles_.at(key);
    auto it = node->values.find(name);
    if (it == node->values.end()) {
        return std::nullopt;
    }
    return it->second;
}

void ScriptedPortSource::CloseKey(RegKey key) {
    handles_.erase(key);
    --keysOpen;
}

bool ScriptedPortSource::CanOpen(const std::string& path) {
    presenceTested.push_back(path);
    return openable.count(path) != 0;
}

}  // namespace sn::testing
