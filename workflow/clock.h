#pragma once
// WorkflowClock: the workflow's pauses and reply waits. Passed in, so tests
// run the exact pacing in virtual time and record what was slept and waited.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "protocol/reply_event.h"

namespace sn {

class WorkflowClock {
  public:
    WorkflowClock() = default;
    WorkflowClock(const WorkflowClock&) = delete;
    WorkflowClock& operator=(const WorkflowClock&) = delete;
    virtual ~WorkflowClock() = default;

    virtual void Sleep(std::chrono::milliseconds pause) = 0;
    // Waits on the reply event for at most `timeout` in all, looking at
    // `answered` after every signal: true as soon as it holds, false when
    // the time is up first. A signal after which `answered` does not hold (a
    // burst with part of a frame, or one left from earlier traffic) is
    // consumed and the wait goes on.
    virtual bool WaitReply(ReplyEventSlot& event, std::chrono::milliseconds timeout,
                           const std::function<bool()>& answered) = 0;
    // Ends every current and later sleep and wait at once (shutting down).
    virtual void Cancel() {}
};

// Real time. Cancel() makes every current and later sleep and wait return at
// once (a wait then reports a time-out), so shutting down never hangs on a
// pause or on a pager that does not answer.
class SystemClock final : public WorkflowClock {
  public:
    void Sleep(std::chrono::milliseconds pause) override;
    bool WaitReply(ReplyEventSlot& event, std::chrono::milliseconds timeout,
                   const std::function<bool()>& answered) override;
    void Cancel() override;
    bool Cancelled() const { return cancelled_.load(); }

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
};

}  // namespace sn
