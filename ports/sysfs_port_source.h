#pragma once
// Serial ports as Linux shows them under /sys/class/tty, each named and opened
// by its device path ("/dev/ttyUSB0"). A port bound to the cp210x driver is a
// cradle bridge, whatever its USB ids, so OEM cables count too. A USB serial
// port is described by its product string; other serial ports with a UART
// behind them are "Communications Port". Only sysfs text files and links are
// read; missing or odd entries are skipped, never fatal.
//
// The sysfs root is /sys unless the environment variable SNTOOL_SYSFS names
// another folder (a fake tree for trying the source out).

#include <string>

#include "ports/listed_port_source.h"

namespace sn {

class SysfsPortSource final : public ListedPortSource {
  public:
    SysfsPortSource();  // root from SNTOOL_SYSFS, else /sys
    explicit SysfsPortSource(std::string root) : root_(std::move(root)) {}
    const std::string& Root() const { return root_; }
    std::vector<PortRecord> Scan() override;

  private:
    std::string root_;
};

// Orders tty names the way people count them: ttyS2 before ttyS10.
bool TtyNameLess(const std::string& a, const std::string& b);

}  // namespace sn
