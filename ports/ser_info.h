#pragma once
// SSerInfo (one serial port found) and PortSelection (which port to open).

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sn {

struct SSerInfo {
    std::string devicePath;    // the path the port is opened under
    std::string portName;      // such as COM3 or /dev/ttyUSB0: what the operator picks
    std::string friendlyName;  // for display; on Windows a bridge's ends in "(portName)"
    int isUsb = 0;
    std::string description;
};

using PortList = std::vector<SSerInfo>;

// A string that one thread may set while another reads it.
class SharedText {
  public:
    SharedText() = default;
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;
    SharedText& operator=(std::string value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        return *this;
    }
    std::string get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    operator std::string() const { return get(); }
    friend bool operator==(const SharedText& a, std::string_view b) { return a.get() == b; }
    friend std::ostream& operator<<(std::ostream& os, const SharedText& t) { return os << t.get(); }

  private:
    mutable std::mutex mutex_;
    std::string value_;
};

// The port choice. The System Configuration dialog sets it, the monitor reads
// it, the enumeration clears cradleMissing for every bridge it lists. The
// choice lives in memory only.
//
// Threads: see docs/threads.md (the port choice).
struct PortSelection {
    std::atomic<int> autoSelect{1};
    std::atomic<int> portConfirmed{0};
    SharedText chosenPortName;
    std::atomic<int> cradleMissing{0};
};

PortSelection& ProcessPortSelection();

}  // namespace sn
