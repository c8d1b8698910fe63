#include "ports/explicit_port_source.h"

namespace sn {

std::vector<PortRecord> ExplicitPortSource::Scan() {
    if (path_.empty() || !PortPathExists(path_)) {
        return {};
    }
    return {BridgeRecord(path_)};
}

}  // namespace sn
