#include "workflow/tick_runner.h"

#include "workflow/form.h"

namespace sn {

TickRunner::TickRunner(std::function<void()> tick)
    : tick_(std::move(tick)), thread_([this] { Run(); }) {}

TickRunner::~TickRunner() {
    Stop();
}

void TickRunner::Post() {
    {
        std::lock_guard lock(mutex_);
        if (stop_ || pending_ || running_) {
            return;
        }
        pending_ = true;
    }
    cv_.notify_all();
}

void TickRunner::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool TickRunner::Busy() const {
    std::lock_guard lock(mutex_);
    return pending_ || running_;
}

bool TickRunner::WaitIdle(std::chrono::milliseconds within) {
    std::unique_lock lock(mutex_);
    // A tick posted after Stop never runs.
    return cv_.wait_for(lock, within, [this] { return !running_ && (!pending_ || stop_); });
}

void TickRunner::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || pending_; });
        if (stop_) {
            return;
        }
        pending_ = false;
        running_ = true;
        lock.unlock();
        tick_();
        lock.lock();
        running_ = false;
        cv_.notify_all();
    }
}

bool HoldMonitor(FormView& form, TickRunner& runner, const std::function<bool()>& pump) {
    constexpr std::chrono::milliseconds kSlice{10};
    for (;;) {
        // Again on every round: the timer may have been started meanwhile
        // (Ctrl+N, a transaction that ended).
        form.StopTimer();
        if (runner.WaitIdle(kSlice)) {
            return true;
        }
        if (!pump()) {
            return false;
        }
    }
}

}  // namespace sn
