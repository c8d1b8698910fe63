#include "protocol/reply_decoder.h"
#include "protocol/receive_burst.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "sim/reply_frames.h"

namespace sn {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kSentinel = 0x5A;

class ReplyDecoderTest : public ::testing::Test {
  protected:
    void SetUp() override { state.replyBuf.fill(kSentinel); }

    // One receive burst, as the watch thread hands it over.
    void Burst(const Bytes& bytes) { FeedReceiveBurst(state, bytes); }
    bool ReplyBufUntouched() const {
        return std::all_of(state.replyBuf.begin(), state.replyBuf.end(),
                           [](auto b) { return b == kSentinel; });
    }
    static Bytes Join(std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) {
            out.insert(out.end(), p.begin(), p.end());
        }
        return out;
    }

    // A memory data reply too long to hold whose last bytes, had the frame
    // index wrapped onto the frame's start, would read as an acknowledge.
    static Bytes LongFrameEndingLikeAnAck() {
        Bytes frame{0x02, 0x80, 0x03, 0x00, 0x00, 0x00, 0xFC};
        frame.resize(frame.size() + 250, 0x00);
        frame.insert(frame.end(), {0x80, 0x06, 0x86, 0x03});
        return frame;
    }

    LinkState state;
};

TEST_F(ReplyDecoderTest, AcknowledgeSetsAcAndLeavesReplyBuf) {
    Burst({0x02, 0x80, 0x06, 0x86, 0x03});
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);
    EXPECT_TRUE(ReplyBufUntouched());
}

TEST_F(ReplyDecoderTest, NegativeAcknowledgeChangesNothing) {
    for (std::uint8_t before : {kReplyNone, kReplyData, kReplyAck}) {
        state.replyStatus = before;
        Burst({0x02, 0x80, 0x15, 0x95, 0x03});
        EXPECT_EQ(state.replyStatus.load(), before);
        EXPECT_TRUE(ReplyBufUntouched());
    }
}

TEST_F(ReplyDecoderTest, DamagedFramesAreDiscardedAndDecodingGoesOn) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"wrong checksum", {0x02, 0x80, 0x06, 0x87, 0x03}},
        {"STX where 0x80 belongs", {0x02, 0x02, 0x80, 0x06, 0x86, 0x03}},
        {"request source byte", {0x02, 0x70, 0x06, 0x76, 0x03}},
        {"unknown type", {0x02, 0x80, 0x07, 0x87, 0x03}},
        {"no ETX after good checksum", {0x02, 0x80, 0x06, 0x86, 0x04}},
        {"short data, bad checksum", {0x02, 0x80, 0x93, 0x00, 0x01, 0x40, 0x00, 0x03}},
        {"252 data bytes ending 80 06 86 03", LongFrameEndingLikeAnAck()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state.replyStatus = kReplyNone;
        Burst(c.bytes);
        EXPECT_EQ(state.replyStatus.load(), kReplyNone);
        EXPECT_TRUE(ReplyBufUntouched());
        // The same burst may go on with a good reply.
        Burst(Join({c.bytes, sim::AckReply()}));
        EXPECT_EQ(state.replyStatus.load(), kReplyAck);
    }
}

TEST_F(ReplyDecoderTest, MemoryDataReplyLandsAtPositionsFourToSixtySeven) {
    Bytes data(64);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    Burst(sim::MemoryDataReply(0x0100, data));
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_EQ(Bytes(state.replyBuf.begin(), state.replyBuf.begin() + 4),
              (Bytes{0x01, 0x00, 0x00, 0x40}));
    EXPECT_EQ(Bytes(state.replyBuf.begin() + 4, state.replyBuf.begin() + 68), data);
    EXPECT_EQ(state.replyBuf[68], kSentinel);
}

TEST_F(ReplyDecoderTest, EveryShortDataTypePutsFirstByteAtPositionTwo) {
    for (std::uint8_t type : {0x71, 0x75, 0x77, 0x79, 0x7B, 0x7D, 0x93, 0xA3}) {
        SCOPED_TRACE(static_cast<int>(type));
        state.replyStatus = kReplyNone;
        const Bytes d{0x40};
        const Bytes frame = sim::ShortDataReply(type, d);
        Burst(frame);
        EXPECT_EQ(state.replyStatus.load(), kReplyData);
        const std::uint8_t cs = frame[frame.size() - 2];
        EXPECT_EQ(Bytes(state.replyBuf.begin(), state.replyBuf.begin() + 5),
                  (Bytes{0x00, 0x01, 0x40, cs, 0x03}));
    }
}

TEST_F(ReplyDecoderTest, NoiseBeforeStxIsSkipped) {
    Burst(Join({{0xFF, 0x00, 0x80, 0x03, 0x86}, sim::AckReply()}));
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);
}

// A reply goes on across bursts; a half reply from before the latest request
// was sent is dropped, so the new request's reply starts afresh.
TEST_F(ReplyDecoderTest, ReplySplitOverTwoBurstsDecodesUnlessARequestCameBetween) {
    const Bytes ack = sim::AckReply();
    const std::uint32_t seq = NoteFrameSent(state);
    Burst(Bytes(ack.begin(), ack.begin() + 2));
    EXPECT_FALSE(ReplyEnded(state, seq));
    Burst(Bytes(ack.begin() + 2, ack.end()));
    EXPECT_TRUE(ReplyEnded(state, seq));
    EXPECT_EQ(ReplyOutcome(state, seq), kReplyAck);

    const Bytes status = sim::ShortDataReply(0x93, Bytes{0x40});
    Burst(Bytes(status.begin(), status.begin() + 4));
    const std::uint32_t next = NoteFrameSent(state);
    Burst(ack);
    EXPECT_EQ(ReplyOutcome(state, next), kReplyAck);
}

// A length field two bytes too long: the frame waits for bytes the pager
// never sends, until the watch thread drops it after the gap. It ends then as
// a damaged frame does, for the request it answers, and a new reply decodes.
TEST_F(ReplyDecoderTest, AFrameLeftWaitingEndsWhenDropped) {
    Bytes reply = sim::MemoryDataReply(0x0100, Bytes(64, 0x00));
    reply[6] = 0x42;
    const std::uint32_t seq = NoteFrameSent(state);
    Burst(reply);
    EXPECT_TRUE(FrameUnderWay(state));
    EXPECT_FALSE(ReplyEnded(state, seq));
    DropFrameUnderWay(state);
    EXPECT_FALSE(FrameUnderWay(state));
    EXPECT_TRUE(ReplyEnded(state, seq));
    EXPECT_EQ(ReplyOutcome(state, seq), kReplyNone);
    EXPECT_TRUE(ReplyBufUntouched());
    const std::uint32_t next = NoteFrameSent(state);
    Burst(sim::AckReply());
    EXPECT_EQ(ReplyOutcome(state, next), kReplyAck);
}

TEST_F(ReplyDecoderTest, ReplySpanningTwoChunksOfOneBurstDecodes) {
    Bytes data(64, 0x11);
    Bytes stream(500, 0x00);  // the reply starts 22 bytes before the chunk boundary
    const Bytes reply = sim::MemoryDataReply(0x0140, data);
    stream.insert(stream.end(), reply.begin(), reply.end());
    Burst(stream);
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_EQ(state.replyBuf[1], 0x40);
    EXPECT_EQ(state.replyBuf[67], 0x11);
}

TEST_F(ReplyDecoderTest, DeclaredLengthZeroStillTakesOneByteAndCopiesNothing) {
    // 02 80 93 00 00 X CS 03: the X is covered by the checksum.
    Bytes frame{0x02, 0x80, 0x93, 0x00, 0x00, 0x77};
    frame.push_back(static_cast<std::uint8_t>((0x80 + 0x93 + 0x77) & 0xFF));
    frame.push_back(0x03);
    Burst(frame);
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_TRUE(ReplyBufUntouched());
}

TEST_F(ReplyDecoderTest, LengthIsTakenModulo256) {
    // Length field 01 00 counts as 0: one byte is collected, nothing copied.
    Bytes frame{0x02, 0x80, 0x93, 0x01, 0x00, 0x22};
    frame.push_back(static_cast<std::uint8_t>((0x80 + 0x93 + 0x01 + 0x22) & 0xFF));
    frame.push_back(0x03);
    Burst(frame);
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_TRUE(ReplyBufUntouched());
}

TEST_F(ReplyDecoderTest, TwoRepliesInOneBurstBothDecodeInOrder) {
    const Bytes status{0x40};
    Burst(Join({sim::ShortDataReply(0x93, status), sim::AckReply()}));
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);  // the second outcome wins
    EXPECT_EQ(state.replyBuf[2], 0x40);              // the first one's data stay
}

TEST_F(ReplyDecoderTest, DataReplyThatFitsReplyBufExactlyIsCopied) {
    Bytes data(80, 0x33);
    Burst(sim::MemoryDataReply(0x0000, data));
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_EQ(state.replyBuf[83], 0x33);
}

// A longer data reply would not fit replyBuf: it is refused as a whole (no
// outcome), never cut and never written past the buffer.
TEST_F(ReplyDecoderTest, OverlongDataReplyIsRefused) {
    for (std::size_t n : {81u, 120u, 200u, 255u}) {
        SCOPED_TRACE(n);
        state.linkActive = 7;
        Burst(sim::MemoryDataReply(0x0000, Bytes(n, 0x44)));
        EXPECT_EQ(state.replyStatus.load(), kReplyNone);
        EXPECT_TRUE(ReplyBufUntouched());
        EXPECT_EQ(state.linkActive.load(), 7);
        Burst(sim::AckReply());
        EXPECT_EQ(state.replyStatus.load(), kReplyAck);
        state.replyStatus = kReplyNone;
    }
}

// Random traffic must never take the decoder out of its buffers (the
// sanitizer builds check that) and must leave it able to decode.
TEST_F(ReplyDecoderTest, RandomTrafficThenAGoodReply) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> len(1, 1500);
    for (int round = 0; round < 300; ++round) {
        Bytes junk(static_cast<std::size_t>(len(rng)));
        for (auto& b : junk) {
            // Bias towards frame bytes so that deep states are reached.
            const int r = byte(rng);
            b = r < 40    ? 0x02
                : r < 80  ? 0x80
                : r < 100 ? 0x03
                          : static_cast<std::uint8_t>(byte(rng));
        }
        Burst(junk);
        ASSERT_LE(state.decodeState, 9);
    }
    state.replyStatus = kReplyNone;
    Burst(sim::AckReply());
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);
}

}  // namespace
}  // namespace sn
