#include "ports/list_serial_ports.h"

#include <array>
#include <cstdio>

#include "ports/port_paths.h"

namespace sn {

PortSelection& ProcessPortSelection() {
    static PortSelection selection;
    return selection;
}

bool IsBridgeName(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kBridgeNames = {
        "CP210x USB to UART Bridge Controller ",
        "CP210x USB to UART Bridge Controller",
        "Silicon Labs CP210x USB to UART Bridge ",
        "Silicon Labs CP210x USB to UART Bridge",
    };
    for (std::string_view name : kBridgeNames) {
        if (text == name) {
            return true;
        }
    }
    return false;
}

namespace detail {

std::string ErrorText(const char* what, std::uint32_t code) {
    std::array<char, 160> buf{};
    std::snprintf(buf.data(), buf.size(), "%s (err=%lx)", what, static_cast<unsigned long>(code));
    return buf.data();
}

void NumberedPath(PortList& ports) {
    for (int n = 1; n <= 16; ++n) {
        SSerInfo info;
        info.portName = "COM" + std::to_string(n);
        info.devicePath = "\\\\.\\" + info.portName;
        ports.push_back(info);
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

void PostPass(PortList& ports, int presenceTest, PortSource& source) {
    for (std::size_t i = 0; i < ports.size();) {
        SSerInfo& info = ports[i];
        if (presenceTest != 0 && !source.CanOpen(info.devicePath)) {
            ports.erase(ports.begin() + static_cast<std::ptrdiff_t>(i));
            continue;  // the next record has moved into place i
        }
        if (info.friendlyName.empty()) {
            info.friendlyName = info.portName;
        }
        if (info.description.empty()) {
            info.description = DescriptionFrom(info.friendlyName);
        }
        ++i;
    }
}

}  // namespace

void ListSerialPorts(PortList& ports, int presenceTest, PortSource& source,
                     PortSelection& selection) {
    ports.clear();
    const OsVersion version = source.GetVersion();
    if (version.error != 0) {
        throw PortListError(detail::ErrorText("Could not get OS version.", version.error));
    }
    if (version.major >= 5) {
        detail::DeviceInterfacePath(ports, source, selection);
    } else if (version.platformId == kPlatformNt) {
        detail::NumberedPath(ports);
    } else {
        detail::EnumKeyPath(ports, source);
    }
    PostPass(ports, presenceTest, source);
}

}  // namespace sn
