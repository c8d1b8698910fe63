// --simulate on Windows: the substitute pager behind an in-process port.

#include "ports/listed_port_source.h"
#include "sim/pager_swapper.h"
#include "sim/sim_serial_port.h"
#include "sim/simulated_cradle.h"

namespace sn::sim {

namespace {

constexpr const char* kPortName = "SIMULATED";

// The one bridge port of the simulated cradle, always present.
class SimulatedPortSource final : public ListedPortSource {
  public:
    std::vector<PortRecord> Scan() override { return {BridgeRecord(kPortName)}; }
    bool CanOpen(const std::string&) override { return true; }
};

class InProcessCradle final : public SimulatedCradle {
  public:
    InProcessCradle(const std::string& model, bool numbered) {
        pager_.SetModelCode(model);
        pager_.SetNumbered(numbered);
    }
    std::unique_ptr<PortSource> MakeSource() override {
        return std::make_unique<SimulatedPortSource>();
    }
    std::unique_ptr<SerialPort> MakePort() override {
        return std::make_unique<SimSerialPort>(pager_);
    }
    void EnableSwap(std::chrono::milliseconds delay) override {
        swapper_ = std::make_unique<PagerSwapper>(pager_, delay);
    }

  private:
    SubstitutePager pager_;
    std::unique_ptr<PagerSwapper> swapper_;  // stopped before the pager goes
};

}  // namespace

std::unique_ptr<SimulatedCradle> StartSimulatedCradle(const std::string& model, bool numbered,
                                                      std::string&) {
    return std::make_unique<InProcessCradle>(model, numbered);
}

}  // namespace sn::sim
