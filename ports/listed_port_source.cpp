#include "ports/listed_port_source.h"

namespace sn {

bool ListedPortSource::CanOpen(const std::string& path) {
    return DeviceCanBeOpened(path);
}

PortRecord BridgeRecord(const std::string& path) {
    PortRecord r;
    r.name = path;
    r.path = path;
    r.description = kBridgeDescription;
    r.friendlyName = BridgeFriendlyName(path);
    r.isBridge = true;
    r.isUsb = true;
    return r;
}

}  // namespace sn
