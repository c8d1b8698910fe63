#include "sim/virtual_cradle.h"

namespace sn::sim {

VirtualCradle::VirtualCradle(PtyPagerOptions options) : runner_(pager_, options) {}

VirtualCradle::~VirtualCradle() {
    swapper_.reset();
    runner_.Stop();
}

bool VirtualCradle::Start(const std::string& model, bool numbered) {
    pager_.SetModelCode(model);
    pager_.SetNumbered(numbered);
    return runner_.Start();
}

void VirtualCradle::EnableSwap(std::chrono::milliseconds delay) {
    swapper_ = std::make_unique<PagerSwapper>(pager_, delay);
}

}  // namespace sn::sim
