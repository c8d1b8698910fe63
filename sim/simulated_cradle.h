#pragma once
// The cradle of --simulate: a substitute pager that the link reaches without
// hardware. One implementation per OS: a pseudo-terminal served inside the
// program on POSIX (the system's own serial port opens it), an in-process
// port on Windows, which has no pseudo-terminals.

#include <chrono>
#include <memory>
#include <string>

#include "ports/port_source.h"
#include "serial/serial_port.h"

namespace sn::sim {

class SimulatedCradle {
  public:
    SimulatedCradle() = default;
    SimulatedCradle(const SimulatedCradle&) = delete;
    SimulatedCradle& operator=(const SimulatedCradle&) = delete;
    virtual ~SimulatedCradle() = default;

    // Presents the cradle as one bridge port.
    virtual std::unique_ptr<PortSource> MakeSource() = 0;
    // The link's port; null means the system's own serial port.
    virtual std::unique_ptr<SerialPort> MakePort() = 0;
    // From now on a pager given its number is swapped for a fresh one
    // `delay` later.
    virtual void EnableSwap(std::chrono::milliseconds delay) = 0;
};

// Null, with the reason in `error`, when it cannot be started.
std::unique_ptr<SimulatedCradle> StartSimulatedCradle(const std::string& model, bool numbered,
                                                      std::string& error);

}  // namespace sn::sim
