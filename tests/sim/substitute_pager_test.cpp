#include "sim/substitute_pager.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <thread>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/pager_memory.h"
#include "protocol/receive_burst.h"
#include "protocol/reply_decoder.h"

namespace sn::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Sends one frame to the pager and decodes every reply burst, each as its own
// receive burst, with the tool's real decoder.
class PagerExchange : public ::testing::Test {
  protected:
    std::vector<ReplyBurst> Send(std::string_view text) {
        const FrameBytes bytes = FrameTextToBytes(text);
        now += 1ms;
        NoteFrameSent(link);
        auto bursts = pager.Receive(bytes, now);
        for (const auto& burst : bursts) {
            FeedReceiveBurst(link, burst.bytes);
        }
        return bursts;
    }
    // The outcome as a waiter sees it, consumed as the workflow does.
    std::uint8_t Outcome(std::string_view text) {
        link.replyStatus = kReplyNone;
        Send(text);
        return link.replyStatus.load();
    }
    Bytes ReplyData() const { return Bytes(link.replyBuf.begin() + 4, link.replyBuf.begin() + 68); }

    SubstitutePager pager;
    LinkState link;
    std::chrono::nanoseconds now{0};
};

TEST_F(PagerExchange, EveryRequestGetsTheOutcomeTheWorkflowExpects) {
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyAck);
    EXPECT_EQ(Outcome(kStatusQueryFrame), kReplyData);
    EXPECT_EQ(Outcome(ReadBlockFrameText(0x0100)), kReplyData);
    EXPECT_EQ(Bytes(link.replyBuf.begin(), link.replyBuf.begin() + 4), (Bytes{1, 0, 0, 0x40}));
    EXPECT_EQ(ReplyData(), pager.ReadMemory(0x0100, 64));
    EXPECT_EQ(Outcome(ReadBlockFrameText(0x0140)), kReplyData);
    EXPECT_EQ(ReplyData(), pager.ReadMemory(0x0140, 64));
    for (auto text : {kReadFinishFrame, kWriteStartFrame, kWriteFinishFrame, kClosingFrame}) {
        EXPECT_EQ(Outcome(text), kReplyAck) << text;
    }
    std::array<std::uint8_t, 64> block{};
    std::iota(block.begin(), block.end(), std::uint8_t{0x20});
    EXPECT_EQ(Outcome(WriteBlockFrameText(0x3C40, block)), kReplyAck);
    EXPECT_EQ(pager.ReadMemory(0x3C40, 64), Bytes(block.begin(), block.end()));
}

// The status reply after what befell the pager, in each mode: N numbered and
// n unnumbered by the factory, M the number and mark byte written as the tool
// writes them, F a write-finish, X one the pager refuses, R reset, O the status
// byte forced. The tool cannot know which kind it meets, so both are played.
TEST_F(PagerExchange, StatusBitFromTheMarkByteOrFromWriteFinish) {
    constexpr auto Mark = SerialBit::FromMarkByte;
    constexpr auto Finish = SerialBit::OnWriteFinish;
    const struct {
        SerialBit mode;
        std::string_view events;
        std::uint8_t status;
    } cases[] = {
        {Mark, "", 0x00},      {Finish, "", 0x00},     // fresh from the factory
        {Mark, "N", 0x40},     {Finish, "N", 0x40},    // numbered there
        {Mark, "Nn", 0x00},    {Finish, "Nn", 0x00},   // and unnumbered again
        {Mark, "MF", 0x40},    {Finish, "MF", 0x40},   // a write the tool finished
        {Mark, "M", 0x40},     {Finish, "M", 0x00},    // one broken off before write-finish
        {Finish, "FM", 0x00},  {Finish, "MX", 0x00},   // finished too early, or refused
        {Finish, "MFR", 0x00}, {Finish, "RM", 0x00},   // a reset pager is still of its kind
        {Mark, "O", 0xBF},     {Finish, "MFO", 0xBF},  // whatever the status byte is forced to
    };
    for (const auto& c : cases) {
        pager.Reset();
        pager.SetSerialBit(c.mode);
        for (const char e : c.events) {
            if (e == 'N' || e == 'n') {
                pager.SetNumbered(e == 'N');
            } else if (e == 'M') {
                Bytes block = pager.ReadMemory(kInfoAreaStart, kBlockSize);
                std::copy_n("AB12CD0001", kSerialLength,
                            block.begin() + (kSerialAddress - kInfoAreaStart));
                block[kMarkByteAddress - kInfoAreaStart] = 0x01;
                const std::span<const std::uint8_t, 64> bytes(block.data(), kBlockSize);
                ASSERT_EQ(Outcome(WriteBlockFrameText(kInfoAreaStart, bytes)), kReplyAck);
                EXPECT_TRUE(pager.IsNumbered());
            } else if (e == 'F' || e == 'X') {
                pager.ScriptFaults(kCmdWriteFinish, {e == 'X' ? Fault::Nak : Fault::None});
                Send(kWriteFinishFrame);
            } else if (e == 'R') {
                pager.Reset();
            } else if (e == 'O') {
                pager.SetStatusByteOverride(0xBF);
            }
        }
        ASSERT_EQ(Outcome(kStatusQueryFrame), kReplyData);
        EXPECT_EQ(link.replyBuf[2], c.status) << (c.mode == Mark ? "mark " : "finish ") << c.events;
    }
}

TEST_F(PagerExchange, InformationAreaIsConsistentFromTheFactory) {
    pager.SetModelCode("KTM2211C");
    const Bytes area = pager.ReadMemory(kInfoAreaStart, kInfoAreaSize);
    EXPECT_EQ(area[kInfoChecksumAddress - kInfoAreaStart],
              SumChecksum(std::span(area).first(kInfoChecksumAddress - kInfoAreaStart)));
    EXPECT_EQ(pager.ReadMemory(kMirrorAreaStart, kInfoAreaSize), area);
    EXPECT_EQ(pager.ModelCode(), "KTM2211C");
    EXPECT_EQ(area[kModelCodeAddress + 8 - kInfoAreaStart], 0xFF);
    pager.SetNumbered(true);
    EXPECT_EQ(pager.ReadMemory(0x3C10, 10), Bytes(SubstitutePager::kSerialWhenNumbered.begin(),
                                                  SubstitutePager::kSerialWhenNumbered.end()));
}

TEST_F(PagerExchange, ScriptedFaultsApplyPerAttemptThenStop) {
    pager.ScriptFaults(kCmdPresenceProbe, {Fault::Nak, Fault::BadChecksum, Fault::Noise});
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyNone);
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyNone);
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyAck);  // noise is skipped
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyAck);
    EXPECT_EQ(Outcome(kStatusQueryFrame), kReplyData);  // other commands untouched
    const auto log = pager.Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].fault, Fault::Nak);
    EXPECT_EQ(log[2].fault, Fault::Noise);
    EXPECT_EQ(log[3].fault, Fault::None);
    EXPECT_LT(log[0].at, log[4].at);
}

TEST_F(PagerExchange, SilenceAndUnseatedGiveNoBurst) {
    pager.ScriptFaults(kCmdReadFinish, {Fault::Silence});
    EXPECT_TRUE(Send(kReadFinishFrame).empty());
    pager.SetSeated(false);
    EXPECT_TRUE(Send(kPresenceProbeFrame).empty());
    pager.SetSeated(true);
    EXPECT_EQ(Outcome(kPresenceProbeFrame), kReplyAck);
}

TEST_F(PagerExchange, SplitReplyComesInTwoBurstsAndDecodesWhole) {
    pager.SetSplitGap(25ms);
    pager.ScriptFaults(kCmdReadBlock, {Fault::Split});
    link.replyStatus = kReplyNone;
    const auto bursts = Send(ReadBlockFrameText(0x0100));
    ASSERT_EQ(bursts.size(), 2u);
    EXPECT_EQ(bursts[1].gapBefore, 25ms);
    EXPECT_EQ(bursts[0].bytes.size() + bursts[1].bytes.size(), 73u);
    EXPECT_EQ(link.replyStatus.load(), kReplyData);
}

TEST_F(PagerExchange, WrongAddressAnswersWithTheNeighbouringBlock) {
    pager.ScriptFaults(kCmdReadBlock, {Fault::WrongAddress});
    ASSERT_EQ(Outcome(ReadBlockFrameText(0x0100)), kReplyData);
    EXPECT_EQ(link.replyBuf[1], 0x40);
    EXPECT_EQ(ReplyData(), pager.ReadMemory(0x0140, 64));
}

TEST_F(PagerExchange, AckWithoutStoreLeavesMemory) {
    const Bytes before = pager.ReadMemory(0x0100, 64);
    std::array<std::uint8_t, 64> block{};
    pager.ScriptFaults(kCmdWriteBlock, {Fault::AckWithoutStore});
    EXPECT_EQ(Outcome(WriteBlockFrameText(0x0100, block)), kReplyAck);
    EXPECT_EQ(pager.ReadMemory(0x0100, 64), before);
}

TEST_F(PagerExchange, StandingFaultHoldsUntilCleared) {
    pager.SetStandingFault(kCmdWriteStart, Fault::Nak);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Outcome(kWriteStartFrame), kReplyNone);
    }
    pager.SetStandingFault(kCmdWriteStart, Fault::None);
    EXPECT_EQ(Outcome(kWriteStartFrame), kReplyAck);
    EXPECT_EQ(pager.RequestCount(kCmdWriteStart), 7u);
}

TEST_F(PagerExchange, BadRequestsAreRefused) {
    EXPECT_EQ(Outcome("02 70 22 93 03"), kReplyNone);              // bad checksum: NAK
    EXPECT_EQ(Outcome("02 70 02 3F C0 00 40 71 03"), kReplyNone);  // past the end of memory
    EXPECT_EQ(Outcome("02 70 55 C5 03"), kReplyNone);              // unknown command
}

TEST_F(PagerExchange, RequestSplitAcrossWritesIsStillAnswered) {
    const FrameBytes bytes = FrameTextToBytes(ReadBlockFrameText(0x0140));
    EXPECT_TRUE(pager.Receive(std::span(bytes).first(8), now).empty());
    const auto bursts = pager.Receive(std::span(bytes).subspan(8), now);
    ASSERT_EQ(bursts.size(), 1u);
    EXPECT_EQ(bursts[0].bytes.size(), 73u);
}

// The pty runner feeds the pager on its own thread while a test or console
// reshapes it.
TEST(SubstitutePagerThreads, ReshapingWhileTrafficFlows) {
    SubstitutePager pager;
    const FrameBytes probe = FrameTextToBytes(kStatusQueryFrame);
    std::thread traffic([&] {
        for (int i = 0; i < 2000; ++i) {
            (void)pager.Receive(probe, std::chrono::milliseconds(i));
        }
    });
    for (int i = 0; i < 200; ++i) {
        pager.SetNumbered(i % 2 == 0);
        pager.SetSeated(i % 3 != 0);
        pager.ScriptFaults(kCmdStatusQuery, {Fault::Nak});
    }
    traffic.join();
    EXPECT_GT(pager.Log().size(), 0u);
}

}  // namespace
}  // namespace sn::sim
