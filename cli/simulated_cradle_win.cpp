// --simulate on Windows: the substitute pager behind an in-process port.

#include "cli/simulated_cradle.h"
#include "ports/interface_list_source.h"
#include "sim/pager_swapper.h"
#include "sim/sim_serial_port.h"

namespace sn::cli {

namespace {

constexpr const char* kPortName = "SIMULATED";

// The one bridge port of the simulated cradle, always present.
class SimulatedPortSource final : public InterfaceListSource {
  public:
    bool CanOpen(const std::string&) override { return true; }

  protected:
    std::vector<ComInterface> Scan() override {
        return {BridgeInterface(kPortName, "USB (simulated)")};
    }
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
        return std::make_unique<sim::SimSerialPort>(pager_);
    }
    void EnableSwap(std::chrono::milliseconds delay) override {
        swapper_ = std::make_unique<sim::PagerSwapper>(pager_, delay);
    }

  private:
    sim::SubstitutePager pager_;
    std::unique_ptr<sim::PagerSwapper> swapper_;  // stopped before the pager goes
};

}  // namespace

std::unique_ptr<SimulatedCradle> StartSimulatedCradle(const std::string& model, bool numbered,
                                                      std::string&) {
    return std::make_unique<InProcessCradle>(model, numbered);
}

}  // namespace sn::cli
