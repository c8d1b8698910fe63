// CSerialLink on a real pseudo-terminal, with the substitute pager at the far
// end: the POSIX backend, the watch thread and the decoder together.

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "protocol/frames.h"
#include "protocol/receive_burst.h"
#include "serial/link_tracer.h"
#include "serial/serial_link.h"
#include "serial/serial_port.h"
#include "sim/pty_pager.h"
#include "tests/support/await_reply.h"
#include "tests/support/recording_reporter.h"

namespace sn {
namespace {

using namespace std::chrono_literals;
using testing::RecordingReporter;

class SerialLinkPtyTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(runner.Start()) << runner.LastError(); }

    int OpenCradle(CSerialLink& l) { return l.Open(runner.PortPath(), 57600, 8, 2, 0); }
    // One exchange as the workflow makes it: send, then wait for the reply
    // to this frame, however many bursts it takes.
    std::uint8_t Exchange(std::string_view frame) {
        state.replyStatus = kReplyNone;
        link.SendCommand(std::string(frame));
        return testing::AwaitReply(state, state.txSeq.load(), 3s).value_or(0x01);
    }

    sim::SubstitutePager pager;
    sim::PtyPager runner{pager};
    LinkState state;
    RecordingReporter reporter;
    CSerialLink link{state, &reporter};
};

// What the link's reads brought, piece by piece.
struct ReadCounter final : LinkTracer {
    void FrameSent(std::span<const std::uint8_t>) override {}
    void ChunkReceived(std::span<const std::uint8_t>) override { ++reads; }
    void BurstEnded() override {}
    std::atomic<int> reads{0};
};

// The pager behind a pty hands its replies over as a CP210x does, 6 bytes
// about a millisecond apart, unless a test asks otherwise: a block's reply
// (73 bytes) never comes in one read.
TEST_F(SerialLinkPtyTest, RepliesComeInPiecesByDefault) {
    EXPECT_EQ(sim::PtyPagerOptions{}.delivery.pieceBytes, 6u);
    EXPECT_EQ(sim::PtyPagerOptions{}.delivery.interval, 1040us);
    ReadCounter counter;
    link.SetTracer(&counter);
    ASSERT_EQ(OpenCradle(link), 1);
    EXPECT_EQ(Exchange(ReadBlockFrameText(0x0100)), kReplyData);
    EXPECT_GE(counter.reads.load(), 2);  // a busy machine may read several pieces at once
    link.Close();
    link.SetTracer(nullptr);
}

TEST_F(SerialLinkPtyTest, ProbeAndStatusQueryComeBack) {
    ASSERT_EQ(OpenCradle(link), 1) << link.LastOpenError();
    EXPECT_EQ(Exchange(kPresenceProbeFrame), kReplyAck);
    EXPECT_EQ(Exchange(kStatusQueryFrame), kReplyData);
    EXPECT_EQ(state.replyBuf[2], 0x00);
    pager.SetNumbered(true);
    EXPECT_EQ(Exchange(kStatusQueryFrame), kReplyData);
    EXPECT_EQ(state.replyBuf[2], 0x40);
    EXPECT_EQ(Exchange(ReadBlockFrameText(0x0140)), kReplyData);
    EXPECT_EQ(std::vector<std::uint8_t>(state.replyBuf.begin() + 4, state.replyBuf.begin() + 68),
              pager.ReadMemory(0x0140, 64));
    EXPECT_TRUE(reporter.Messages().empty());
}

// A reply in two parts is one frame while its bytes keep coming; once none
// has come for the frame gap, the frame ends as a damaged one (the attempt
// fails at once, not after 3000 ms), and the next request is answered.
TEST_F(SerialLinkPtyTest, AFrameThatStallsEndsAfterTheGap) {
    ASSERT_EQ(OpenCradle(link), 1);
    struct Case {
        const char* what;
        sim::Fault fault;
        std::chrono::milliseconds split;
        std::uint8_t outcome;
    };
    const Case cases[] = {
        {"split within the gap", sim::Fault::Split, kFrameGap / 2, kReplyData},
        {"split beyond it", sim::Fault::Split, 60ms, kReplyNone},
        {"length two bytes long", sim::Fault::BadLength, 0ms, kReplyNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pager.SetSplitGap(c.split);
        pager.ScriptFaults(kCmdStatusQuery, {c.fault});
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(Exchange(kStatusQueryFrame), c.outcome);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
        std::this_thread::sleep_for(c.split);  // the rest of a late reply goes by
        EXPECT_EQ(Exchange(kPresenceProbeFrame), kReplyAck);
    }
}

TEST_F(SerialLinkPtyTest, SilentPagerTimesOut) {
    ASSERT_EQ(OpenCradle(link), 1);
    pager.SetSeated(false);
    link.SendCommand(std::string(kPresenceProbeFrame));
    EXPECT_FALSE(state.replyEvent.Wait(200ms));
}

TEST_F(SerialLinkPtyTest, SecondOpenOfTheSamePortFails) {
    ASSERT_EQ(OpenCradle(link), 1);
    LinkState otherState;
    RecordingReporter otherReporter;
    CSerialLink other(otherState, &otherReporter);
    EXPECT_EQ(OpenCradle(other), 0);  // also as root: the advisory lock holds
    ASSERT_EQ(otherReporter.Messages().size(), 1u);
    EXPECT_EQ(otherReporter.Messages()[0].first, "Unable to connect to device. ");
    EXPECT_EQ(otherReporter.Messages()[0].second, "Device or resource busy");
    EXPECT_EQ(other.m_bOpen.load(), 0);
    // Another program that locks the port is kept out too.
    const int fd = ::open(runner.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {  // as root TIOCEXCL lets the open through
        EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
    link.Close();
    EXPECT_EQ(OpenCradle(other), 1);  // free again
}

TEST_F(SerialLinkPtyTest, MissingDeviceGivesTheOsReason) {
    EXPECT_EQ(link.Open("/dev/no-such-cradle", 57600, 8, 2, 0), 0);
    ASSERT_EQ(reporter.Messages().size(), 1u);
    EXPECT_EQ(reporter.Messages()[0].second, "No such file or directory");
}

// A new ttyUSB comes up with IXON set: with it the kernel would eat every
// 0x11 and 0x13 the pager sends. Hardware flow control stays as it was.
TEST_F(SerialLinkPtyTest, SoftwareFlowControlGoesOffAndXonXoffBytesComeThrough) {
    termios before{};
    ASSERT_EQ(::tcgetattr(runner.PortFd(), &before), 0);
    before.c_cflag |= CRTSCTS;
    before.c_iflag |= IXON | IXOFF | IXANY;
    ASSERT_EQ(::tcsetattr(runner.PortFd(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(runner.PortFd(), &before), 0);
    ASSERT_EQ(OpenCradle(link), 1);
    termios after{};
    ASSERT_EQ(::tcgetattr(runner.PortFd(), &after), 0);
    EXPECT_EQ(after.c_cflag & CRTSCTS, before.c_cflag & CRTSCTS);
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(after.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(after.c_cflag & PARENB, 0u);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B57600));
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), 0u);

    // A block of XON and XOFF bytes whose reply checksum is XOFF as well.
    std::vector<std::uint8_t> block(64);
    unsigned sum = 0x80 + 0x03 + 0x02 + 0x00 + 0x00 + 0x40;
    for (std::size_t i = 0; i + 1 < block.size(); ++i) {
        block[i] = i % 2 == 0 ? 0x11 : 0x13;
        sum += block[i];
    }
    block[63] = static_cast<std::uint8_t>(0x13 - sum);
    pager.WriteMemory(0x0200, block);
    EXPECT_EQ(Exchange(ReadBlockFrameText(0x0200)), kReplyData);
    EXPECT_EQ(std::vector<std::uint8_t>(state.replyBuf.begin() + 4, state.replyBuf.begin() + 68),
              block);
}

// The far end closes, as a pulled cradle's tty hangs up: no more bursts, the
// reply wait times out, and the link knows the port is dead.
TEST_F(SerialLinkPtyTest, HangUpMakesRepliesTimeOut) {
    ASSERT_EQ(OpenCradle(link), 1);
    EXPECT_EQ(Exchange(kPresenceProbeFrame), kReplyAck);
    runner.Stop();
    for (int i = 0; i < 1000 && !link.HungUp(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(link.HungUp());
    EXPECT_EQ(link.m_bOpen.load(), 1);  // closed by the workflow, not here
    link.SendCommand(std::string(kPresenceProbeFrame));
    EXPECT_EQ(testing::AwaitReply(state, state.txSeq.load(), 300ms), std::nullopt);
    link.Close();
}

// The port itself after the hang-up: one HungUp, then a wait that returns
// only when it is cancelled (a tty that hangs up reports POLLHUP again at
// once, and a port that went on polling it would spin).
TEST_F(SerialLinkPtyTest, AfterAHangUpTheNextWaitEndsOnlyWhenCancelled) {
    const auto port = MakeSystemSerialPort();
    ASSERT_TRUE(port->Open(runner.PortPath()));
    ASSERT_TRUE(port->Configure(LineSettings{}));
    ASSERT_TRUE(port->PrepareWait());
    runner.Stop();
    EXPECT_EQ(port->WaitForInput(std::nullopt), WaitResult::HungUp);
    std::atomic<bool> returned{false};
    WaitResult second = WaitResult::Failed;
    std::thread waiter([&] {
        second = port->WaitForInput(std::nullopt);
        returned = true;
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(returned.load());
    port->CancelWait();
    waiter.join();
    EXPECT_EQ(second, WaitResult::Cancelled);
    port->Close();
}

TEST_F(SerialLinkPtyTest, CloseWhileWaitingIsPromptAndReopenWorks) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(OpenCradle(link), 1);
        if (i % 4 == 0) {
            EXPECT_EQ(Exchange(kPresenceProbeFrame), kReplyAck);
        }
        link.Close();
        EXPECT_EQ(link.m_bOpen.load(), 0);
    }
    ASSERT_EQ(OpenCradle(link), 1);
    EXPECT_EQ(Exchange(kPresenceProbeFrame), kReplyAck);
}

}  // namespace
}  // namespace sn
