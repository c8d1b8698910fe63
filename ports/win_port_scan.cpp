// ScanWindowsPorts: the version decides the path; the SERIALCOMM names and the
// defaults of empty names and descriptions follow.

#include <algorithm>
#include <array>
#include <cstdio>

#include "ports/port_paths.h"
#include "ports/win_port_api.h"

namespace sn {

bool IsBridgeName(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kBridgeNames = {
        "CP210x USB to UART Bridge Controller ",
        "CP210x USB to UART Bridge Controller",
        "Silicon Labs CP210x USB to UART Bridge ",
        "Silicon Labs CP210x USB to UART Bridge",
    };
    return std::find(kBridgeNames.begin(), kBridgeNames.end(), text) != kBridgeNames.end();
}

namespace detail {

std::string ErrorText(const char* what, std::uint32_t code) {
    std::array<char, 160> buf{};
    std::snprintf(buf.data(), buf.size(), "%s (err=%lx)", what, static_cast<unsigned long>(code));
    return buf.data();
}

// NT 4 has no device interfaces and its registry names no ports: whatever
// COM port the cradle is on must be among the first sixteen.
void NumberedPath(std::vector<PortRecord>& ports) {
    for (int n = 1; n <= 16; ++n) {
        PortRecord r;
        r.name = "COM" + std::to_string(n);
        r.path = r.name;
        r.unidentified = true;
        ports.push_back(r);
    }
}

}  // namespace detail

namespace {

// "Communications Port (COM1)" describes itself as "Communications Port".
std::string DescriptionFrom(const std::string& friendlyName) {
    const auto p = friendlyName.find(" (");
    const auto q = friendlyName.find(')');
    if (p != std::string::npos && p > 0 && q != std::string::npos && q + 1 == friendlyName.size()) {
        return friendlyName.substr(0, p);
    }
    return friendlyName;
}

// The ports the serial drivers announce but no interface showed (a port that
// Wine maps, a driver without interfaces), so that every COM port is seen.
void AddOtherPorts(std::vector<PortRecord>& ports, WinPortApi& api) {
    for (const std::string& name : api.OtherSerialPorts()) {
        const bool listed = std::any_of(ports.begin(), ports.end(),
                                        [&](const PortRecord& r) { return r.name == name; });
        if (!listed) {
            PortRecord r;
            r.name = name;
            r.path = name;
            ports.push_back(r);
        }
    }
}

}  // namespace

std::vector<PortRecord> ScanWindowsPorts(WinPortApi& api) {
    const OsVersion version = api.GetVersion();
    if (version.error != 0) {
        throw PortListError(detail::ErrorText("Could not get OS version.", version.error));
    }
    std::vector<PortRecord> ports;
    if (version.major >= 5) {
        detail::DeviceInterfacePath(ports, api);
        AddOtherPorts(ports, api);
    } else if (version.platformId == kPlatformNt) {
        detail::NumberedPath(ports);
    } else {
        detail::EnumKeyPath(ports, api);
    }
    for (PortRecord& r : ports) {
        if (r.friendlyName.empty()) {
            r.friendlyName = r.name;
        }
        if (r.description.empty()) {
            r.description = DescriptionFrom(r.friendlyName);
        }
    }
    return ports;
}

}  // namespace sn
