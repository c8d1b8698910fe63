#include "protocol/receive_burst.h"

#include "protocol/reply_decoder.h"

namespace sn {

std::uint32_t NoteFrameSent(LinkState& state) {
    return state.txSeq.fetch_add(1) + 1;
}

void BeginReceiveBurst(LinkState& state) {
    if (state.decodeState != 0 && state.frameSeq != state.txSeq.load()) {
        state.decodeState = 0;
        state.frameIndex = 0;
    }
    state.frameEndedInBurst = false;
}

void EndReceiveBurst(LinkState& state) {
    if (state.frameEndedInBurst) {
        state.answeredSeq.store(state.endedSeq);
        state.frameEndedInBurst = false;
    }
    state.replyEvent.Set();
}

void FeedReceiveBurst(LinkState& state, std::span<const std::uint8_t> bytes) {
    BeginReceiveBurst(state);
    DecodeBytes(state, bytes);
    EndReceiveBurst(state);
}

bool FrameUnderWay(const LinkState& state) {
    return state.decodeState != 0;
}

void DropFrameUnderWay(LinkState& state) {
    if (!FrameUnderWay(state)) {
        return;
    }
    state.decodeState = 0;
    state.frameIndex = 0;
    state.endedSeq = state.frameSeq;
    state.frameEndedInBurst = true;
    EndReceiveBurst(state);
}

bool ReplyEnded(const LinkState& state, std::uint32_t seq) {
    return state.answeredSeq.load() == seq;
}

std::uint8_t ReplyOutcome(const LinkState& state, std::uint32_t seq) {
    return state.statusSeq.load() == seq ? state.replyStatus.load() : kReplyNone;
}

}  // namespace sn
