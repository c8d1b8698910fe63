#pragma once
// ListSerialPorts: which serial ports there are, and whether the cradle's
// CP210x bridge is among them.

#include <stdexcept>
#include <string>
#include <string_view>

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn {

// Raised when the OS refuses a query; what() is the message text itself, such
// as "SetupDiGetClassDevs failed. (err=5)". Everything the walk held has been
// released by the time it reaches the caller.
class PortListError : public std::runtime_error {
  public:
    explicit PortListError(const std::string& text) : std::runtime_error(text) {}
};

// One of the four names under which the bridge's driver presents it. Letter
// case and the trailing blank count.
bool IsBridgeName(std::string_view text);

// Empties `ports` and fills it from `source`. Sets selection.cradleMissing to 0
// for every bridge port it lists and never sets it to 1. With presenceTest,
// ports that can't be opened are dropped.
void ListSerialPorts(PortList& ports, int presenceTest, PortSource& source,
                     PortSelection& selection = ProcessPortSelection());

}  // namespace sn
