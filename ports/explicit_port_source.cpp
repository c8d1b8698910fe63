#include "ports/explicit_port_source.h"

#include <filesystem>

namespace sn {

std::vector<ComInterface> ExplicitPortSource::Scan() {
    std::error_code ec;
    if (path_.empty() || !std::filesystem::exists(path_, ec)) {
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
