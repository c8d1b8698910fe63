#include "ports/setupapi_port_source.h"

#include <vector>

#include "ports/listed_port_source.h"
#include "ports/system_port_source.h"

namespace sn {

namespace {

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
// GUID_DEVINTERFACE_COMPORT, {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

DWORD PropertyCode(DeviceProperty which) {
    switch (which) {
        case DeviceProperty::FriendlyName:
            return SPDRP_FRIENDLYNAME;
        case DeviceProperty::Description:
            return SPDRP_DEVICEDESC;
        case DeviceProperty::LocationInformation:
            return SPDRP_LOCATION_INFORMATION;
    }
    return SPDRP_FRIENDLYNAME;
}

// Text as the registry or SetupAPI hands it over: up to its first terminator.
std::string TextOf(const std::vector<char>& bytes, DWORD size) {
    std::string s(bytes.data(), size < bytes.size() ? size : bytes.size());
    const auto end = s.find('\0');
    return end == std::string::npos ? s : s.substr(0, end);
}

}  // namespace

SetupApiPortSource::~SetupApiPortSource() {
    CloseInterfaceSet();
    for (const auto& [id, key] : keys_) {
        RegCloseKey(key);
    }
}

OsVersion SetupApiPortSource::GetVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        return OsVersion{GetLastError(), 0, 0};
    }
    return OsVersion{0, info.dwMajorVersion, info.dwPlatformId};
}

std::uint32_t SetupApiPortSource::OpenInterfaceSet() {
    CloseInterfaceSet();
    set_ = SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr, kPresentInterfaces);
    return set_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

std::uint32_t SetupApiPortSource::EnumInterface(std::uint32_t index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;  // the platform's size: 32 on x64
    if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &kComPortInterface, index, &data)) {
        return GetLastError();
    }
    return 0;
}

// The detail buffer is sized by the system's own answer, so a long device
// path fits.
std::uint32_t SetupApiPortSource::GetInterfaceDetail(std::uint32_t index, std::string& devicePath) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &kComPortInterface, index, &data)) {
        return GetLastError();
    }
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set_, &data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return GetLastError();
    }
    std::vector<DWORD> buffer((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);  // the fixed part: 8 on x64
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;  // 32 on x64
    if (!SetupDiGetDeviceInterfaceDetailA(set_, &data, detail, needed, nullptr, &device)) {
        return GetLastError();
    }
    devicePath = detail->DevicePath;
    devices_[index] = device;
    return 0;
}

std::optional<std::string> SetupApiPortSource::GetDeviceProperty(std::uint32_t index,
                                                                 DeviceProperty which) {
    const auto it = devices_.find(index);
    if (it == devices_.end()) {
        return std::nullopt;
    }
    DWORD needed = 0;
    SetupDiGetDeviceRegistryPropertyA(set_, &it->second, PropertyCode(which), nullptr, nullptr, 0,
                                      &needed);
    if (needed == 0) {
        return std::nullopt;
    }
    std::vector<char> text(needed);
    if (!SetupDiGetDeviceRegistryPropertyA(set_, &it->second, PropertyCode(which), nullptr,
                                           reinterpret_cast<BYTE*>(text.data()), needed, nullptr)) {
        return std::nullopt;
    }
    return TextOf(text, needed);
}

void SetupApiPortSource::CloseInterfaceSet() {
    devices_.clear();
    if (set_ != INVALID_HANDLE_VALUE) {
        SetupDiDestroyDeviceInfoList(set_);
        set_ = INVALID_HANDLE_VALUE;
    }
}

HKEY SetupApiPortSource::KeyFor(RegKey key) const {
    if (key == kHklm) {
        return HKEY_LOCAL_MACHINE;
    }
    const auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : it->second;
}

std::optional<RegKey> SetupApiPortSource::OpenKey(RegKey parent, const std::string& name) {
    const HKEY from = KeyFor(parent);
    HKEY key = nullptr;
    if (from == nullptr || RegOpenKeyExA(from, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const RegKey id = nextKey_++;
    keys_[id] = key;
    return id;
}

std::optional<std::string> SetupApiPortSource::EnumSubkey(RegKey key, std::uint32_t index) {
    const HKEY from = KeyFor(key);
    char name[256] = {};  // the longest key name the registry allows, and its end
    DWORD size = sizeof name;
    if (from == nullptr || RegEnumKeyExA(from, index, name, &size, nullptr, nullptr, nullptr,
                                         nullptr) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(name, size);
}

std::optional<std::string> SetupApiPortSource::QueryValue(RegKey key, const std::string& name) {
    const HKEY from = KeyFor(key);
    DWORD size = 0;
    if (from == nullptr ||
        RegQueryValueExA(from, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<char> text(size + 1);
    if (RegQueryValueExA(from, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return TextOf(text, size);
}

void SetupApiPortSource::CloseKey(RegKey key) {
    const auto it = keys_.find(key);
    if (it != keys_.end()) {
        RegCloseKey(it->second);
        keys_.erase(it);
    }
}

bool SetupApiPortSource::CanOpen(const std::string& path) {
    return DeviceCanBeOpened(path);
}

// Every port the serial drivers have announced, as "COM3", in the registry's order.
std::vector<std::string> SetupApiPortSource::OtherSerialPorts() {
    std::vector<std::string> names;
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        char valueName[256] = {};
        DWORD nameSize = sizeof valueName;
        std::vector<char> data(256);
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(map, i, valueName, &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
            break;
        }
        if (type == REG_SZ) {
            names.push_back(TextOf(data, dataSize));
        }
    }
    RegCloseKey(map);
    return names;
}

std::unique_ptr<PortSource> MakeSystemPortSource() {
    return std::make_unique<SetupApiPortSource>();
}

}  // namespace sn
