#pragma once
// Waits as the workflow does for the reply to request `seq`: on replyEvent
// after every receive burst, until a frame that began after the request has
// ended. Its outcome (kReplyNone for a negative acknowledge or a damaged
// frame), or nothing when `timeout` passes first.

#include <chrono>
#include <optional>

#include "protocol/receive_burst.h"

namespace sn::testing {

inline std::optional<std::uint8_t> AwaitReply(LinkState& state, std::uint32_t seq,
                                              std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !state.replyEvent.Wait(left)) {
            return std::nullopt;
        }
        if (ReplyEnded(state, seq)) {
            return ReplyOutcome(state, seq);
        }
    }
}

}  // namespace sn::testing
