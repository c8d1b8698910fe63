#include "ports/port_report.h"

#include <algorithm>

#include "ports/friendly_name.h"
#include "ports/list_serial_ports.h"

namespace sn {

namespace {

std::vector<PortReport> FromList(PortSource& source) {
    PortSelection scratch;
    PortList list;
    ListSerialPorts(list, 0, source, scratch);
    std::vector<PortReport> out;
    for (const SSerInfo& info : list) {
        out.push_back({info.portName, info.friendlyName, info.devicePath, false});
    }
    return out;
}

// Ports the OS names beyond its device interfaces (Windows's SERIALCOMM map),
// shown so that the operator sees every COM port; never a cradle.
void AddOtherPorts(std::vector<PortReport>& out, PortSource& source) {
    for (const std::string& name : source.OtherSerialPorts()) {
        const bool listed = std::any_of(out.begin(), out.end(),
                                        [&](const PortReport& r) { return r.portName == name; });
        if (!listed) {
            out.push_back({name, name, "\\\\.\\" + name, false});
        }
    }
}

}  // namespace

std::vector<PortReport> ReportPorts(PortSource& source) {
    const OsVersion version = source.GetVersion();
    if (version.error != 0 || version.major < 5) {
        return FromList(source);  // raises what the version query raises
    }
    // The same walk as the device-interface path, keeping every port.
    PortSelection scratch;
    PortList bridges;
    ListSerialPorts(bridges, 0, source, scratch);  // raises on refusals, releases all
    std::vector<PortReport> out;
    if (source.OpenInterfaceSet() != 0) {
        return out;
    }
    for (std::uint32_t i = 0; source.EnumInterface(i) == 0; ++i) {
        PortReport r;
        if (source.GetInterfaceDetail(i, r.devicePath) != 0) {
            continue;
        }
        r.friendlyName =
            source.GetDeviceProperty(i, DeviceProperty::FriendlyName).value_or(r.devicePath);
        const ParsedFriendlyName parsed = ParseFriendlyName(r.friendlyName);
        r.portName = parsed.hasParenthesis ? parsed.port : r.devicePath;
        r.isBridge = IsBridgeName(parsed.model);
        out.push_back(r);
    }
    source.CloseInterfaceSet();
    AddOtherPorts(out, source);
    return out;
}

}  // namespace sn
