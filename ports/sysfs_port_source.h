#pragma once
// Serial ports as Linux shows them under /sys/class/tty, presented the way
// the bridge's Windows driver presents them: a port bound to the cp210x
// driver (whatever its USB ids, so OEM cables count too) gets the bridge's
// friendly name "Silicon Labs CP210x USB to UART Bridge (ttyUSB0)"; other USB
// serial ports get their own product names (and so are not taken for a
// cradle); other serial ports with a UART behind them are "Communications
// Port (ttyS0)". Only sysfs text files and links are read; missing or odd
// entries are skipped, never fatal.
//
// The sysfs root is /sys unless the environment variable SNTOOL_SYSFS names
// another folder (a fake tree for trying the source out).

#include <string>

#include "ports/interface_list_source.h"

namespace sn {

class SysfsPortSource final : public InterfaceListSource {
  public:
    SysfsPortSource();  // root from SNTOOL_SYSFS, else /sys
    explicit SysfsPortSource(std::string root) : root_(std::move(root)) {}
    const std::string& Root() const { return root_; }

  protected:
    std::vector<ComInterface> Scan() override;

  private:
    std::string root_;
};

// Orders tty names the way people count them: ttyS2 before ttyS10.
bool TtyNameLess(const std::string& a, const std::string& b);

}  // namespace sn
