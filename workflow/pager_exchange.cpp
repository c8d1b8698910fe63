#include "workflow/pager_exchange.h"

#include <algorithm>

#include "protocol/frames.h"
#include "protocol/pager_memory.h"

namespace sn {

namespace {
constexpr auto kReplyWait = std::chrono::milliseconds(3000);
}  // namespace

// The wait ends at the first receive burst, which may be one from before the
// frame was sent: the attempt is judged on replyStatus as it is then, and a
// stale or split reply simply fails the attempt.
PagerExchange::Outcome PagerExchange::Exchange(const std::string& frame,
                                               std::chrono::milliseconds pause,
                                               std::uint8_t expected) {
    if (stopping_.load()) {
        return Outcome::Timeout;
    }
    LinkState& state = link_.State();
    link_.SendCommand(frame);
    clock_.Sleep(pause);
    if (!clock_.WaitReply(state.replyEvent, kReplyWait)) {
        return Outcome::Timeout;
    }
    if (state.replyStatus.load() != expected) {
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
