#pragma once
// The reply event: an auto-reset event that the watch thread sets at the end of
// every receive burst and that one waiter consumes.
//
// Threads: see docs/threads.md (the reply hand-over). Set() never allocates,
// so the receive path stays allocation free.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace sn {

class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Signals the event; it stays signalled until one wait consumes it.
    void Set();
    // True when the event was signalled within `timeout` (the signal is consumed),
    // false on time-out.
    bool Wait(std::chrono::milliseconds timeout);
    bool IsSet() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

// Holds the current reply event. Renew() replaces it with a fresh, unsignalled
// one at the start of every monitor tick, so no signal left over from earlier
// traffic can end a wait of that tick. A replaced event is released as soon as
// the last thread that still holds it (a waiter, or the watch thread in the
// middle of a Set) lets go of it: nothing leaks per tick, and nothing is freed
// under a waiting thread.
class ReplyEventSlot {
  public:
    ReplyEventSlot();
    ReplyEventSlot(const ReplyEventSlot&) = delete;
    ReplyEventSlot& operator=(const ReplyEventSlot&) = delete;

    void Renew();
    std::shared_ptr<AutoResetEvent> Current() const;

    // Set / wait on the event that is current at the moment of the call.
    void Set() const;
    bool Wait(std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<AutoResetEvent> event_;
};

}  // namespace sn
