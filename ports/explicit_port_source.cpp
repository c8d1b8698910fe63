#include "ports/explicit_port_source.h"

namespace sn {

std::vector<ComInterface> ExplicitPortSource::Scan() {
    if (path_.empty() || !PortPathExists(path_)) {
        return {};
    }
    ComInterface c;
    c.devicePath = path_;
    c.friendlyName = BridgeFriendlyName(path_);
    c.description = kBridgeDescription;
    c.location = "USB (named port)";
    return {c};
}

}  // namespace sn
