#include "workflow/clock.h"

#include <algorithm>

namespace sn {

namespace {
// A reply wait looks at the cancel flag this often.
constexpr std::chrono::milliseconds kCancelCheck{50};
}  // namespace

void SystemClock::Sleep(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, pause, [this] { return cancelled_.load(); });
}

bool SystemClock::WaitReply(ReplyEventSlot& event, std::chrono::milliseconds timeout,
                            const std::function<bool()>& answered) {
    // Hold the event that is current now, even if a tick renews the slot.
    const auto current = event.Current();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!cancelled_.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return current->Wait(std::chrono::milliseconds(0)) && answered();
        }
        if (current->Wait(std::min(left, kCancelCheck)) && answered()) {
            return true;
        }
    }
    return false;
}

void SystemClock::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    cv_.notify_all();
}

}  // namespace sn
