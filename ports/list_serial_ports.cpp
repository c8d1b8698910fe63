#include "ports/list_serial_ports.h"

namespace sn {

PortSelection& ProcessPortSelection() {
    static PortSelection selection;
    return selection;
}

void ListSerialPorts(PortList& ports, int presenceTest, PortSource& source,
                     PortSelection& selection) {
    ports.clear();
    for (const PortRecord& r : source.Scan()) {
        if (!r.isBridge && !r.unidentified) {
            continue;
        }
        // A bridge counts as found even when the presence test then drops it:
        // it is there, only busy.
        if (r.isBridge) {
            selection.cradleMissing = 0;
        }
        if (presenceTest != 0 && !source.CanOpen(r.path)) {
            continue;
        }
        SSerInfo info;
        info.devicePath = r.path;
        info.portName = r.name;
        info.friendlyName = r.friendlyName;
        info.isUsb = r.isUsb ? 1 : 0;
        info.description = r.description;
        ports.push_back(info);
    }
}

}  // namespace sn
