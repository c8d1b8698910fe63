#include "ports/port_report.h"

namespace sn {

std::vector<PortReport> ReportPorts(PortSource& source) {
    std::vector<PortReport> out;
    for (const PortRecord& r : source.Scan()) {
        out.push_back({r.name, r.friendlyName, r.path, r.isBridge});
    }
    return out;
}

}  // namespace sn
