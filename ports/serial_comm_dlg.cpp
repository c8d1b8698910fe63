#include "ports/serial_comm_dlg.h"

#include "ports/list_serial_ports.h"

namespace sn {

SerialCommDlgInit SerialCommDlgOnInit(PortSource& source, PortSelection& selection) {
    selection.autoSelect = 0;
    PortList ports;
    ListSerialPorts(ports, 0, source, selection);
    SerialCommDlgInit init;
    for (const SSerInfo& p : ports) {
        init.entries.push_back(p.portName);
    }
    if (selection.portConfirmed.load() == 0) {
        init.selected = 0;  // selecting in an empty box selects nothing
    } else {
        for (std::size_t j = 0; j < init.entries.size(); ++j) {
            if (selection.chosenPortName == init.entries[j]) {
                init.selected = static_cast<int>(j);
                break;
            }
        }
        if (init.selected < 0 && !init.entries.empty()) {
            // The confirmed port is gone: entry 0 takes its place at once,
            // even if the operator then cancels.
            init.selected = 0;
            selection.chosenPortName = init.entries.front();
        }
    }
    if (init.entries.empty()) {
        init.selected = -1;
    }
    return init;
}

void SerialCommDlgOnOK(PortSelection& selection, const std::string& comboText) {
    selection.chosenPortName = comboText;
    selection.cradleMissing = 0;
    selection.portConfirmed = 1;
    selection.autoSelect = 0;
}

void SerialCommDlgOnCancel(PortSelection& selection) {
    selection.cradleMissing = 0;
    selection.autoSelect = selection.portConfirmed.load() == 1 ? 0 : 1;
}

bool SystemSetupEnabled(const PortSelection& selection) {
    return selection.cradleMissing.load() != 1;
}

}  // namespace sn
