// The reply decoder as the watch thread drives it: received bytes in receive
// bursts of the fuzzer's choosing, requests sent between bursts. Every burst
// is checked against a plain frame-by-frame reading of the same bytes, and
// the decoder must leave nothing outside its buffers touched.
//
// Input: records of one control byte and the burst's bytes.
//   control bit 7     a request is sent before the burst (NoteFrameSent)
//   control bits 0-6  the burst's length; 126: the waiter consumes the
//                     outcome (replyStatus = 0), no bytes; 127: the length
//                     is in the next two bytes, high byte first

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/receive_burst.h"
#include "protocol/reply_decoder.h"

namespace {

using namespace sn;

using sn::fuzz::Require;

// The same replies as the decoder accepts, read a frame at a time: a frame
// is judged from its bytes so far each time one more arrives.
class ReferenceReader {
  public:
    std::array<std::uint8_t, kReplyBufSize> replyBuf{};
    std::uint8_t status = kReplyNone;
    std::uint32_t statusSeq = 0;
    std::uint32_t answeredSeq = 0;
    std::uint32_t txSeq = 0;
    std::vector<std::uint8_t> frame;  // empty: between frames

    void BeginBurst() {
        if (!frame.empty() && frameSeq_ != txSeq) {
            frame.clear();  // a reply to an earlier request: dropped unseen
        }
        endedInBurst_ = false;
    }
    void EndBurst() {
        if (endedInBurst_) {
            answeredSeq = endedSeq_;
        }
    }
    void Byte(std::uint8_t b) {
        if (frame.empty()) {
            if (b == 0x02) {
                frame.push_back(b);
                frameSeq_ = txSeq;
            }
            return;
        }
        if (frame.size() >= kMaxFrameBytes) {
            End();
            return;
        }
        frame.push_back(b);
        Judge();
    }

  private:
    static bool ShortType(std::uint8_t t) {
        constexpr std::array<std::uint8_t, 8> kTypes{0x71, 0x75, 0x77, 0x79,
                                                     0x7B, 0x7D, 0x93, 0xA3};
        return std::find(kTypes.begin(), kTypes.end(), t) != kTypes.end();
    }
    void End() {
        frame.clear();
        endedInBurst_ = true;
        endedSeq_ = frameSeq_;
    }
    void Judge() {
        const std::size_t n = frame.size();
        if (n == 2) {
            if (frame[1] != 0x80) {
                End();
            }
            return;
        }
        const std::uint8_t type = frame[2];
        const bool ackOrNak = type == 0x06 || type == 0x15;
        if (n == 3) {
            if (!ackOrNak && type != 0x03 && !ShortType(type)) {
                End();
            }
            return;
        }
        const std::size_t header = ackOrNak ? 3 : type == 0x03 ? 7 : 5;
        if (n <= header) {
            return;
        }
        const std::size_t length = ackOrNak ? 0 : frame[header - 1];
        const std::size_t csAt = header + (ackOrNak ? 0 : std::max<std::size_t>(length, 1));
        if (n - 1 < csAt) {
            return;
        }
        if (n - 1 == csAt) {
            unsigned sum = 0;
            for (std::size_t i = 1; i < csAt; ++i) {
                sum += frame[i];
            }
            if ((sum & 0xFFu) != frame[csAt]) {
                End();
            }
            return;
        }
        if (frame[csAt + 1] == 0x03) {
            Complete(type, length);
        }
        End();
    }
    void Complete(std::uint8_t type, std::size_t length) {
        if (type == 0x15 || (type != 0x06 && length > kMaxReplyDataLength)) {
            return;
        }
        if (type != 0x06 && length > 0) {
            std::copy_n(frame.begin() + 3, length + 4, replyBuf.begin());
        }
        status = type == 0x06 ? kReplyAck : kReplyData;
        statusSeq = frameSeq_;
    }

    std::uint32_t frameSeq_ = 0;
    std::uint32_t endedSeq_ = 0;
    bool endedInBurst_ = false;
};

// LinkState between guard bytes: a write past the record shows up here, one
// past a buffer inside it is caught by the bounds-checked arrays.
struct Guarded {
    std::array<std::uint8_t, 64> before{};
    LinkState state;
    std::array<std::uint8_t, 64> after{};
};

constexpr std::uint8_t kGuard = 0xA5;

void CheckAgainstReference(const Guarded& g, const ReferenceReader& ref) {
    const LinkState& s = g.state;
    Require(std::all_of(g.before.begin(), g.before.end(), [](auto b) { return b == kGuard; }));
    Require(std::all_of(g.after.begin(), g.after.end(), [](auto b) { return b == kGuard; }));
    Require(s.replyStatus.load() == ref.status);
    Require(s.statusSeq.load() == ref.statusSeq);
    Require(s.answeredSeq.load() == ref.answeredSeq);
    Require(s.replyBuf == ref.replyBuf);
    Require(s.decodeState <= 9);
    // Between frames the decoder is in state 0; within one it holds exactly
    // the frame's bytes so far.
    Require((s.decodeState == 0) == ref.frame.empty());
    if (!ref.frame.empty()) {
        Require(s.frameIndex == ref.frame.size());
        Require(std::equal(ref.frame.begin(), ref.frame.end(), s.frameBuf.begin()));
    }
    Require(s.chunkReadPos == s.chunkWritePos);
    Require(s.chunkWritePos >= 0 && s.chunkWritePos <= static_cast<std::int32_t>(kChunkSize));
    Require(s.linkActive.load() == 0);
}

void Burst(Guarded& g, ReferenceReader& ref, std::span<const std::uint8_t> bytes) {
    BeginReceiveBurst(g.state);
    ref.BeginBurst();
    DecodeBytes(g.state, bytes);
    for (std::uint8_t b : bytes) {
        ref.Byte(b);
    }
    EndReceiveBurst(g.state);
    ref.EndBurst();
    CheckAgainstReference(g, ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Guarded* g = new Guarded;  // replyEvent is built once, as in the program
    g->before.fill(kGuard);
    g->after.fill(kGuard);
    LinkState& s = g->state;
    s.dataLength = s.decodeState = s.dataCount = s.frameIndex = 0;
    s.replyBuf.fill(0);
    s.replyStatus = kReplyNone;
    s.txSeq = s.statusSeq = s.answeredSeq = 0;
    s.frameSeq = s.endedSeq = 0;
    s.frameEndedInBurst = false;
    ReferenceReader ref;

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        std::size_t length = control & 0x7Fu;
        if ((control & 0x80u) != 0) {
            ref.txSeq = NoteFrameSent(s);
        }
        if (length == 126) {
            s.replyStatus = kReplyNone;
            ref.status = kReplyNone;
            continue;
        }
        if (length == 127) {
            length = at + 1 < size ? (std::size_t{data[at]} << 8) | data[at + 1] : 0;
            at = std::min(size, at + 2);
        }
        length = std::min(length, size - at);
        Burst(*g, ref, std::span(data + at, length));
        at += length;
    }
    // Whatever came before, the reply to a new request is read.
    const std::uint32_t seq = NoteFrameSent(s);
    ref.txSeq = seq;
    const std::uint8_t ack[] = {0x02, 0x80, 0x06, 0x86, 0x03};
    Burst(*g, ref, ack);
    Require(ReplyEnded(s, seq));
    Require(ReplyOutcome(s, seq) == kReplyAck);
    return 0;
}
