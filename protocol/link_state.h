#pragma once
// LinkState: the record shared by the serial link, the watch thread, the reply
// decoder and the workflow.
//
// Ownership and threads:
// - the decoder fields (dataLength .. chunkBuf) belong to the watch thread, the
//   only caller of DecodeReplyByte;
// - replyBuf is written by the decoder and read by the waiting thread only after
//   its wait on replyEvent has returned: the event's lock orders the two;
// - replyStatus and linkActive are read and written from several threads and
//   are atomics.
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

struct LinkState {
    std::uint8_t dataLength = 0;
    std::uint8_t decodeState = 0;
    std::uint8_t dataCount = 0;
    std::uint8_t frameIndex = 0;  // wraps at 256, so it never leaves frameBuf
    std::array<std::uint8_t, kFrameBufSize> frameBuf{};
    std::int32_t chunkWritePos = 0;
    std::int32_t chunkReadPos = 0;
    std::array<std::uint8_t, kChunkSize> chunkBuf{};
    std::array<std::uint8_t, kReplyBufSize> replyBuf{};
    std::atomic<std::int32_t> linkActive{0};
    ReplyEventSlot replyEvent;
    std::atomic<std::uint8_t> replyStatus{kReplyNone};
};

LinkState& ProcessLinkState();

}  // namespace sn
