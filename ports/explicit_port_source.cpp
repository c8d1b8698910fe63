#include "ports/explicit_port_source.h"

namespace sn {

std::vector<ComInterface> ExplicitPortSource::Scan() {
    if (path_.empty() || !PortPathExists(path_)) {
        return {};
    }
    return {BridgeInterface(path_, "USB (named port)")};
}

}  // namespace sn
