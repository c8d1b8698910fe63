#include "sim/virtual_cradle.h"

namespace sn::sim {

VirtualCradle::VirtualCradle(PtyPagerOptions options) : runner_(pager_, options) {}

VirtualCradle::~VirtualCradle() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (swapper_.joinable()) {
        swapper_.join();
    }
    runner_.Stop();
}

bool VirtualCradle::Start(const std::string& model, bool numbered) {
    pager_.SetModelCode(model);
    pager_.SetNumbered(numbered);
    return runner_.Start();
}

void VirtualCradle::EnableSwap(std::chrono::milliseconds delay) {
    swapDelay_ = delay;
    const bool numberedNow = pager_.IsNumbered();
    swapper_ = std::thread([this, numberedNow] { Watch(numberedNow); });
}

// Polls the pager's numbered state twice a second; cheap, and only in the
// virtual cradle. Only a pager numbered while seated here is swapped.
void VirtualCradle::Watch(bool wasNumbered) {
    std::unique_lock lock(mutex_);
    const std::string model = pager_.ModelCode();
    while (!stop_) {
        cv_.wait_for(lock, std::chrono::milliseconds(500));
        const bool numbered = pager_.IsNumbered();
        const bool justNumbered = numbered && !wasNumbered;
        wasNumbered = numbered;
        if (stop_ || !justNumbered) {
            continue;
        }
        cv_.wait_for(lock, swapDelay_, [this] { return stop_; });
        if (stop_) {
            return;
        }
        pager_.SetSeated(false);
        cv_.wait_for(lock, std::chrono::milliseconds(1500), [this] { return stop_; });
        pager_.Reset();
        pager_.SetModelCode(model);
        pager_.SetSeated(true);
        wasNumbered = false;
    }
}

}  // namespace sn::sim
