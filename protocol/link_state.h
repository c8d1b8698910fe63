#pragma once
// LinkState: the record shared by the serial link, the watch thread, the reply
// decoder and the workflow.
//
// Threads: see docs/threads.md (the reply hand-over); the decoder fields
// (dataLength .. chunkBuf) are the watch thread's.
// Every request frame gets a number (txSeq, advanced by the sender just
//   before its bytes go out). The decoder notes, for each frame it collects,
//   the number that was current when the frame's STX arrived, so a waiter can
//   tell the reply to its own frame from one that was under way before it:
//   statusSeq says which frame set replyStatus, answeredSeq (published at the
//   end of a receive burst) which frame ended last, complete or discarded.
// The program has one process-wide instance (ProcessLinkState()); tests and
// benchmarks make their own.

#include <array>
#include <atomic>
#include <cstdint>

#include "protocol/reply_event.h"

namespace sn {

// Outcome codes in replyStatus.
inline constexpr std::uint8_t kReplyNone = 0x00;
inline constexpr std::uint8_t kReplyData = 0xFF;
inline constexpr std::uint8_t kReplyAck = 0xAC;

inline constexpr std::size_t kFrameBufSize = 528;
inline constexpr std::size_t kChunkSize = 522;  // the largest single read
inline constexpr std::size_t kReplyBufSize = 84;
// A data reply copies its length + 4 bytes into replyBuf.
inline constexpr std::size_t kMaxReplyDataLength = kReplyBufSize - 4;
// The most bytes of one frame the decoder holds: a longer frame (a data reply
// of some 250 bytes, far more than replyBuf takes) is discarded at the byte
// that would not fit, so frameIndex never wraps.
inline constexpr std::uint8_t kMaxFrameBytes = 255;

struct LinkState {
    std::uint8_t dataLength = 0;
    std::uint8_t decodeState = 0;
    std::uint8_t dataCount = 0;
    std::uint8_t frameIndex = 0;  // at most kMaxFrameBytes
    std::array<std::uint8_t, kFrameBufSize> frameBuf{};
    std::int32_t chunkWritePos = 0;
    std::int32_t chunkReadPos = 0;
    std::array<std::uint8_t, kChunkSize> chunkBuf{};
    std::array<std::uint8_t, kReplyBufSize> replyBuf{};
    std::atomic<std::int32_t> linkActive{0};
    ReplyEventSlot replyEvent;
    std::atomic<std::uint8_t> replyStatus{kReplyNone};

    // Which request a reply answers (see above). txSeq, statusSeq and
    // answeredSeq are shared; the rest belong to the watch thread.
    std::atomic<std::uint32_t> txSeq{0};
    std::uint32_t frameSeq = 0;  // txSeq when the frame being collected began
    std::uint32_t endedSeq = 0;  // frameSeq of the last frame ended in this burst
    bool frameEndedInBurst = false;
    std::atomic<std::uint32_t> statusSeq{0};
    std::atomic<std::uint32_t> answeredSeq{0};
};

LinkState& ProcessLinkState();

}  // namespace sn
