#pragma once
// Receive bursts and the request a reply belongs to.
//
// A CP210x bridge hands received bytes to the host in small USB transfers
// about a millisecond apart, so one reply usually arrives as several receive
// bursts. A frame under way therefore carries over from one burst to the
// next; it is dropped at the start of a burst only when it began before the
// latest request was sent (a stale or broken reply that the new request's
// reply must not be glued to).
//
// The waiter for a request judges only a frame that began after its request
// was sent: a signal or a replyStatus left from earlier traffic never counts,
// and a burst that brings only part of a frame does not end the wait.
//
// A frame under way that stalls is dropped: once a frame has begun, its bytes
// come in pieces about a millisecond apart, and the longest reply (73 bytes)
// takes about 15 ms on the wire at 57,600 bps with two stop bits. When no
// byte has come for kFrameGap, the rest is not coming: a damaged length field
// left the decoder waiting for bytes the pager never sends. The frame ends
// then, as a damaged one does, and the waiter counts its attempt as failed
// and tries again at once, instead of after the 3000 ms wait.
//
// Threads: see docs/threads.md (the reply hand-over). NoteFrameSent is the
// sender's, ReplyEnded and ReplyOutcome the waiter's, the rest the watch
// thread's.

#include <chrono>
#include <cstdint>
#include <span>

#include "protocol/link_state.h"

namespace sn {

// Gives the frame about to be sent its number, which the caller keeps.
std::uint32_t NoteFrameSent(LinkState& state);

void BeginReceiveBurst(LinkState& state);
// Publishes which request's reply ended in this burst, then sets replyEvent.
void EndReceiveBurst(LinkState& state);
// One whole receive burst, for links that get their bytes in one piece.
void FeedReceiveBurst(LinkState& state, std::span<const std::uint8_t> bytes);

// Longer than a whole reply's wire time and many times the bridge's piece
// interval (a slow bridge handing over 1 byte every 5 ms still fits), short
// against the pauses of the steps (20 to 80 ms), so a damaged reply costs
// about one retry.
inline constexpr std::chrono::milliseconds kFrameGap{20};
// A frame has begun and not ended.
bool FrameUnderWay(const LinkState& state);
// No byte came for kFrameGap: the frame under way ends as a damaged one does,
// and the waiter is woken to judge its attempt.
void DropFrameUnderWay(LinkState& state);

// True once a frame that began after request `seq` was sent has ended,
// complete or discarded.
bool ReplyEnded(const LinkState& state, std::uint32_t seq);
// replyStatus when the reply to request `seq` set it, else kReplyNone.
std::uint8_t ReplyOutcome(const LinkState& state, std::uint32_t seq);

}  // namespace sn
