#include "protocol/reply_event.h"

#include <utility>

namespace sn {

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) {
        return false;
    }
    signalled_ = false;
    return true;
}

bool AutoResetEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

ReplyEventSlot::ReplyEventSlot() : event_(std::make_shared<AutoResetEvent>()) {}

void ReplyEventSlot::Renew() {
    auto fresh = std::make_shared<AutoResetEvent>();
    std::shared_ptr<AutoResetEvent> old;
    {
        std::lock_guard lock(mutex_);
        old = std::exchange(event_, std::move(fresh));
    }
    // `old` is released here unless a waiter still holds it.
}

std::shared_ptr<AutoResetEvent> ReplyEventSlot::Current() const {
    std::lock_guard lock(mutex_);
    return event_;
}

void ReplyEventSlot::Set() const {
    // Copying the pointer only bumps a reference count: no allocation.
    Current()->Set();
}

bool ReplyEventSlot::Wait(std::chrono::milliseconds timeout) const {
    return Current()->Wait(timeout);
}

}  // namespace sn
