#pragma once
// The rules of the System Configuration dialog, without the dialog: what its
// combo box lists and selects when it opens, and what OK and Cancel do to the
// port choice. The window's dialog shows the entries and calls these.
//
// Runs on the UI thread while the monitor's timer is stopped.

#include <string>
#include <vector>

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn {

inline constexpr const char* kNoPortText =
    "Communication Error #1 \r\n\r\nUSB device not connected! \r\nPlease connect the pager "
    "programming cradle to your PC and try again. ";
inline constexpr const char* kNoPortCaption = "Corvel PPS";

struct SerialCommDlgInit {
    std::vector<std::string> entries;  // the port names, in list order
    int selected = -1;                 // the entry to select, -1 for none
};

// OnInitDialog: automatic choice off, the ports listed, and the entry to
// select: the confirmed port where it is still listed; else entry 0, whose
// name then becomes the chosen one at once. Any number of ports. Raises
// PortListError as ListSerialPorts does.
SerialCommDlgInit SerialCommDlgOnInit(PortSource& source, PortSelection& selection);

// OnOK with the combo box's text; OnCancel.
void SerialCommDlgOnOK(PortSelection& selection, const std::string& comboText);
void SerialCommDlgOnCancel(PortSelection& selection);

// Whether the System Setup menu item is enabled.
bool SystemSetupEnabled(const PortSelection& selection);

}  // namespace sn
