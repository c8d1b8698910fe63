#pragma once
// ListSerialPorts: the ports that may be the cradle's, and whether its CP210x
// bridge is among them.

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn {

// Empties `ports` and fills it with the bridges `source` finds (and the ports
// it can't tell apart: see PortRecord::unidentified), in its order. Sets
// selection.cradleMissing to 0 when it finds a bridge and never sets it to 1.
// With presenceTest, ports that can't be opened are dropped. Raises
// PortListError as the source does.
void ListSerialPorts(PortList& ports, int presenceTest, PortSource& source,
                     PortSelection& selection = ProcessPortSelection());

}  // namespace sn
