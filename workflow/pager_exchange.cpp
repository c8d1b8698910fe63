#include "workflow/pager_exchange.h"

#include <algorithm>

#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "protocol/receive_burst.h"

namespace sn {

namespace {
constexpr auto kReplyWait = std::chrono::milliseconds(3000);
}  // namespace

// The wait ends when a frame that began after this one was sent has ended:
// a reply in pieces is waited for whole, and neither a signal nor a status
// left from earlier traffic can decide the attempt. A negative acknowledge or
// a damaged frame fails it; silence for 3000 ms is a time-out.
PagerExchange::Outcome PagerExchange::Exchange(const std::string& frame,
                                               std::chrono::milliseconds pause,
                                               std::uint8_t expected) {
    if (stopping_.load()) {
        return Outcome::Timeout;
    }
    LinkState& state = link_.State();
    link_.SendCommand(frame);
    const std::uint32_t seq = state.txSeq.load();
    clock_.Sleep(pause);
    if (!clock_.WaitReply(state.replyEvent, kReplyWait,
                          [&state, seq] { return ReplyEnded(state, seq); })) {
        return Outcome::Timeout;
    }
    if (ReplyOutcome(state, seq) != expected) {
        return Outcome::Failed;
    }
    state.replyStatus = kReplyNone;
    return Outcome::Success;
}

StepResult PagerExchange::FixedCommand(std::string_view frame) {
    for (int attempt = 0; attempt < kFixedCommandAttempts; ++attempt) {
        switch (Exchange(std::string(frame), std::chrono::milliseconds(20), kReplyAck)) {
            case Outcome::Success:
                return StepResult::Ok;
            case Outcome::Timeout:
                return StepResult::Timeout;
            case Outcome::Failed:
                Pause(20);
                break;
        }
    }
    return StepResult::Exhausted;
}

// A memory reply counts only for the block that was asked for: a stale or
// misdirected one would otherwise put another block's bytes into the area
// that the write sends back to the pager.
bool PagerExchange::BlockReplyMatches(unsigned block) const {
    const std::uint16_t address = BlockAddress(block);
    const auto& buf = link_.State().replyBuf;
    return buf[0] == (address >> 8) && buf[1] == (address & 0xFF) && buf[2] == 0x00 &&
           buf[3] == kBlockLength;
}

StepResult PagerExchange::ReadBlock(unsigned block, int& retries, std::span<std::uint8_t, 64> out) {
    const std::uint16_t address = BlockAddress(block);
    for (;;) {
        const auto pause = std::chrono::milliseconds(80 + 20 * retries);
        const Outcome outcome = Exchange(ReadBlockFrameText(address), pause, kReplyData);
        if (outcome == Outcome::Timeout) {
            return StepResult::Timeout;
        }
        if (outcome == Outcome::Success && BlockReplyMatches(block)) {
            const auto& buf = link_.State().replyBuf;
            std::copy_n(buf.begin() + 4, kBlockSize, out.begin());
            return StepResult::Ok;
        }
        if (retries == kReadRetryBudget) {
            return StepResult::Exhausted;
        }
        ++retries;
    }
}

StepResult PagerExchange::WriteBlock(unsigned block, std::span<const std::uint8_t, 64> data) {
    const std::string frame = WriteBlockFrameText(BlockAddress(block), data);
    for (int retries = 0;; ++retries) {
        const Outcome outcome = Exchange(frame, std::chrono::milliseconds(80), kReplyAck);
        if (outcome == Outcome::Timeout) {
            return StepResult::Timeout;
        }
        if (outcome == Outcome::Success) {
            return StepResult::Ok;
        }
        if (retries == kWriteRetryBudget) {
            return StepResult::Exhausted;
        }
    }
}

}  // namespace sn
