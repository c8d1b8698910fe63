#include "sim/pager_swapper.h"

namespace sn::sim {

PagerSwapper::PagerSwapper(SubstitutePager& pager, std::chrono::milliseconds delay,
                           std::function<void(const SubstitutePager&)> takenOut)
    : pager_(pager), delay_(delay), takenOut_(std::move(takenOut)) {
    const bool numberedNow = pager_.IsNumbered();
    thread_ = std::thread([this, numberedNow] { Watch(numberedNow); });
}

PagerSwapper::~PagerSwapper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

// Polls the pager's numbered state twice a second; cheap, and only in a
// simulated cradle. Only a pager numbered while seated here is swapped.
void PagerSwapper::Watch(bool wasNumbered) {
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
        cv_.wait_for(lock, delay_, [this] { return stop_; });
        if (stop_) {
            return;
        }
        pager_.SetSeated(false);
        if (takenOut_) {
            takenOut_(pager_);
        }
        cv_.wait_for(lock, std::chrono::milliseconds(1500), [this] { return stop_; });
        pager_.Reset();
        pager_.SetModelCode(model);
        pager_.SetSeated(true);
        wasNumbered = false;
    }
}

}  // namespace sn::sim
