#pragma once
// PagerExchange: one dialogue step with the pager and the retry loops built
// on it, shared by the transactions and by the command line's read and verify.
//
// The exchange: send the frame, pause, wait at most 3000 ms for the reply
// event, and judge replyStatus as it is then. A time-out is never retried.
// Runs on one thread at a time (the one that owns the link at that moment).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "serial/comm_link.h"
#include "workflow/clock.h"

namespace sn {

enum class StepResult {
    Ok,
    Timeout,    // no reply within 3000 ms (or shutting down)
    Exhausted,  // every attempt answered, none as expected
};

class PagerExchange {
  public:
    enum class Outcome { Success, Failed, Timeout };

    static constexpr int kFixedCommandAttempts = 5;
    static constexpr int kReadRetryBudget = 5;    // failed block reads, over all blocks
    static constexpr int kWriteRetryBudget = 10;  // failed writes of one block

    PagerExchange(CommLink& link, WorkflowClock& clock, const std::atomic<bool>& stopping)
        : link_(link), clock_(clock), stopping_(stopping) {}

    Outcome Exchange(const std::string& frame, std::chrono::milliseconds pause,
                     std::uint8_t expected);
    // Up to five attempts of a fixed command that the pager acknowledges.
    StepResult FixedCommand(std::string_view frame);
    // Reads one block into `out`, counting failures in `retries` (shared by
    // the blocks of one transaction); the pause grows by 20 ms per failure.
    StepResult ReadBlock(unsigned block, int& retries, std::span<std::uint8_t, 64> out);
    // Writes one block with a budget of its own.
    StepResult WriteBlock(unsigned block, std::span<const std::uint8_t, 64> data);
    void Pause(int ms) { clock_.Sleep(std::chrono::milliseconds(ms)); }

  private:
    bool BlockReplyMatches(unsigned block) const;

    CommLink& link_;
    WorkflowClock& clock_;
    const std::atomic<bool>& stopping_;
};

}  // namespace sn
