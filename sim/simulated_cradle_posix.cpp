// --simulate on POSIX: the virtual cradle on a pseudo-terminal.

#include "ports/explicit_port_source.h"
#include "sim/simulated_cradle.h"
#include "sim/virtual_cradle.h"

namespace sn::sim {

namespace {

class PtyCradle final : public SimulatedCradle {
  public:
    bool Start(const std::string& model, bool numbered) { return cradle_.Start(model, numbered); }
    std::string LastError() const { return cradle_.LastError(); }
    std::unique_ptr<PortSource> MakeSource() override {
        return std::make_unique<ExplicitPortSource>(cradle_.PortPath());
    }
    std::unique_ptr<SerialPort> MakePort() override { return nullptr; }
    void EnableSwap(std::chrono::milliseconds delay) override { cradle_.EnableSwap(delay); }

  private:
    VirtualCradle cradle_;
};

}  // namespace

std::unique_ptr<SimulatedCradle> StartSimulatedCradle(const std::string& model, bool numbered,
                                                      std::string& error) {
    auto cradle = std::make_unique<PtyCradle>();
    if (!cradle->Start(model, numbered)) {
        error = cradle->LastError();
        return nullptr;
    }
    return cradle;
}

}  // namespace sn::sim
