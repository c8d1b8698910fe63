#pragma once
// The reply decoder: a ten-state machine fed one received byte at a time.
//
// Replies (pager to PC) all start 02 80 and end with a checksum and 03:
//   acknowledge        02 80 06 86 03                    -> replyStatus 0xAC
//   negative ack       02 80 15 95 03                    -> no outcome
//   short data reply   02 80 T LH LL D0..Dn-1 CS 03      -> replyStatus 0xFF,
//                      replyBuf = LH LL D0..Dn-1 CS 03
//   memory data reply  02 80 03 AH AL LH LL D0..Dn-1 CS 03 -> replyStatus 0xFF,
//                      replyBuf = AH AL LH LL D0..Dn-1
// Only the low byte of a length counts. A reply counts only when its checksum
// and end byte are right; a discarded frame changes neither replyStatus nor
// replyBuf. A data reply with more data than replyBuf can take (over 80
// bytes) is refused the same way: no outcome, nothing copied; one too long
// to hold (over 255 bytes in all) is discarded at the byte that does not fit.
//
// Runs on the watch thread (docs/threads.md); allocates nothing.

#include <cstdint>
#include <span>

#include "protocol/link_state.h"

namespace sn {

bool IsShortDataReplyType(std::uint8_t type);

// Takes the byte at chunkBuf[chunkReadPos], advances chunkReadPos and makes
// one transition.
void DecodeReplyByte(LinkState& state);

// Places `bytes` in chunkBuf in chunks of at most 522 and decodes each byte
// right after storing it, as the watch thread does within one receive burst.
// Does not reset decodeState: a new receive burst is the caller's to mark.
void DecodeBytes(LinkState& state, std::span<const std::uint8_t> bytes);

}  // namespace sn
