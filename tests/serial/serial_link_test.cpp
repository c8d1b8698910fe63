// CSerialLink over a recording fake port: the exact calls it makes.

#include "serial/serial_link.h"

#include <gtest/gtest.h>

#include <thread>

#include "protocol/frames.h"
#include "sim/reply_frames.h"
#include "tests/support/await_reply.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/recording_reporter.h"

namespace sn {
namespace {

using namespace std::chrono_literals;
using testing::AwaitReply;
using testing::FakePortScript;
using testing::FakeSerialPort;
using testing::RecordingReporter;
using Bytes = std::vector<std::uint8_t>;

class SerialLinkFakeTest : public ::testing::Test {
  protected:
    SerialLinkFakeTest()
        : script(std::make_shared<FakePortScript>()),
          link(state, &reporter, [s = script] { return std::make_unique<FakeSerialPort>(s); }) {}

    int OpenCradle(const std::string& name = "ttyUSB0") { return link.Open(name, 57600, 8, 2, 0); }
    // Waits for the burst's end, as the workflow does.
    bool AwaitBurst() { return state.replyEvent.Wait(5s); }

    std::shared_ptr<FakePortScript> script;
    LinkState state;
    RecordingReporter reporter;
    CSerialLink link;
};

TEST_F(SerialLinkFakeTest, FramesAreWrittenInPiecesOfEight) {
    ASSERT_EQ(OpenCradle(), 1);
    const std::pair<std::string, std::vector<std::size_t>> cases[] = {
        {"02 70 22 92 03", {5}},
        {std::string(18, '0'), {8, 1}},
        {std::string(32, '1'), {8, 8}},
        {std::string(34, '2'), {8, 8, 1}},
        {std::string(146, 'F'), {8, 8, 8, 8, 8, 8, 8, 8, 8, 1}},
        {"", {}},
        {"   ", {}},
    };
    std::size_t seen = 0;
    for (const auto& [text, pieces] : cases) {
        link.SendCommand(text);
        const auto writes = script->Writes();
        std::vector<std::size_t> sizes;
        for (std::size_t i = seen; i < writes.size(); ++i) {
            sizes.push_back(writes[i].size());
        }
        seen = writes.size();
        EXPECT_EQ(sizes, pieces) << text.size() << " characters";
    }
}

TEST_F(SerialLinkFakeTest, OpensWithTheLineSettingsAndTwoMsPerByte) {
    ASSERT_EQ(OpenCradle(), 1);
    ASSERT_EQ(script->Configured().size(), 1u);
    const LineSettings s = script->Configured()[0];
    EXPECT_EQ(s.baud, 57600u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, 0);
    link.SendCommand("02 70 02 01 00 00 40 B3 03");
    EXPECT_EQ(script->WriteTimeouts(), (std::vector<std::chrono::milliseconds>{16ms, 2ms}));
    EXPECT_EQ(link.m_bOpen.load(), 1);
    EXPECT_EQ(state.linkActive.load(), 1);
}

TEST_F(SerialLinkFakeTest, WriteAfterCloseSendsNothing) {
    ASSERT_EQ(OpenCradle(), 1);
    link.Close();
    const std::uint8_t b[3] = {1, 2, 3};
    EXPECT_EQ(link.Write(b, 3), 0u);
    link.SendCommand("02 70 22 92 03");
    EXPECT_TRUE(script->Writes().empty());
    EXPECT_EQ(link.m_bOpen.load(), 0);
    EXPECT_EQ(state.linkActive.load(), 0);
}

// A port another program holds fails every second: one box, not one a tick.
TEST_F(SerialLinkFakeTest, FailedOpenIsReportedOnceUntilAnOpenSucceedsOrTheCradleCameBack) {
    script->openOk = false;
    const auto reported = [this] { return reporter.Messages().size(); };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(OpenCradle(), 0);
    }
    EXPECT_EQ(reporter.Messages(),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Unable to connect to device. ", "Device or resource busy"}}));
    EXPECT_EQ(link.m_bOpen.load(), 0);
    EXPECT_EQ(state.linkActive.load(), 0);
    EXPECT_EQ(link.LastOpenError(), "Device or resource busy");
    EXPECT_EQ(OpenCradle("ttyUSB1"), 0);  // another device is news
    EXPECT_EQ(reported(), 2u);
    link.RearmOpenReport();  // the cradle was gone and came back
    EXPECT_EQ(OpenCradle("ttyUSB1"), 0);
    EXPECT_EQ(reported(), 3u);
    script->openOk = true;
    ASSERT_EQ(OpenCradle("ttyUSB1"), 1);
    link.Close();
    script->openOk = false;
    EXPECT_EQ(OpenCradle("ttyUSB1"), 0);
    EXPECT_EQ(reported(), 4u);
}

TEST_F(SerialLinkFakeTest, RefusedLineSettingsFailSilently) {
    script->configureOk = false;
    EXPECT_EQ(OpenCradle(), 0);
    EXPECT_TRUE(reporter.Messages().empty());
    EXPECT_EQ(link.m_bOpen.load(), 0);
    EXPECT_EQ(script->Closes(), 1);
}

TEST_F(SerialLinkFakeTest, WatchThreadSetupFailureLeavesTheLinkOpenButDeaf) {
    script->prepareOk = false;
    ASSERT_EQ(OpenCradle("ttyUSB7"), 1);
    link.Close();  // joins the thread, which has reported and ended
    EXPECT_EQ(reporter.Texts(),
              std::vector<std::string>{"Error while creating ThreadWatchComm, ttyUSB7"});
}

TEST_F(SerialLinkFakeTest, AcknowledgeInOneBurstSetsTheEventOnce) {
    ASSERT_EQ(OpenCradle(), 1);
    script->PushBurst({sim::AckReply()});
    ASSERT_TRUE(AwaitBurst());
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);
    EXPECT_FALSE(state.replyEvent.Wait(50ms));  // set once, consumed once
}

// A CP210x hands a reply over in USB transfers about a millisecond apart:
// each piece is a receive burst of its own, and the reply is decoded whole.
TEST_F(SerialLinkFakeTest, ReplyInPiecesOfOneToEightBytesIsDecodedWhole) {
    ASSERT_EQ(OpenCradle(), 1);
    Bytes data(64);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + 2);  // holds 0x02 and 0x03 too
    }
    const Bytes reply = sim::MemoryDataReply(0x0100, data);
    for (std::size_t piece = 1; piece <= 8; ++piece) {
        SCOPED_TRACE(piece);
        state.replyBuf.fill(0);
        link.SendCommand(ReadBlockFrameText(0x0100));
        const std::uint32_t seq = state.txSeq.load();
        for (std::size_t at = 0; at < reply.size(); at += piece) {
            const auto end = reply.begin() + static_cast<long>(std::min(at + piece, reply.size()));
            script->PushBurst({Bytes(reply.begin() + static_cast<long>(at), end)});
        }
        EXPECT_EQ(AwaitReply(state, seq, 5s), kReplyData);
        EXPECT_EQ(Bytes(state.replyBuf.begin() + 4, state.replyBuf.begin() + 68), data);
    }
}

// Neither a signal nor a status left from before a frame was sent decides its
// attempt, and a frame cut off before it was sent is not glued to its reply.
TEST_F(SerialLinkFakeTest, OnlyAFrameBegunAfterTheRequestAnswersIt) {
    ASSERT_EQ(OpenCradle(), 1);
    link.SendCommand(std::string(kPresenceProbeFrame));
    script->PushBurst({sim::AckReply()});
    ASSERT_TRUE(AwaitBurst());
    script->PushBurst({sim::AckReply()});  // a late second acknowledge, unconsumed
    for (int i = 0; i < 500 && !state.replyEvent.Current()->IsSet(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    link.SendCommand(std::string(kWriteStartFrame));
    const std::uint32_t refused = state.txSeq.load();
    script->PushBurst({sim::NakReply()});
    EXPECT_EQ(AwaitReply(state, refused, 5s), kReplyNone);
    EXPECT_EQ(state.replyStatus.load(), kReplyAck);  // left from before: not counted

    link.SendCommand(ReadBlockFrameText(0x0100));
    script->PushBurst({{0x02, 0x80, 0x03, 0x01}});  // cut off: the pager was reseated
    ASSERT_TRUE(AwaitBurst());
    link.SendCommand(std::string(kPresenceProbeFrame));
    const std::uint32_t probe = state.txSeq.load();
    script->PushBurst({sim::AckReply()});
    EXPECT_EQ(AwaitReply(state, probe, 5s), kReplyAck);
}

// A pulled cradle: the watch thread stops reading instead of making an empty
// burst of every pass, and the next open of the device starts afresh.
TEST_F(SerialLinkFakeTest, HangUpStopsTheBurstsAndTheNextOpenReopens) {
    ASSERT_EQ(OpenCradle(), 1);
    script->HangUp();
    for (int i = 0; i < 500 && !link.HungUp(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(link.HungUp());
    EXPECT_FALSE(state.replyEvent.Wait(100ms));
    EXPECT_TRUE(script->Reads().empty());
    ASSERT_EQ(OpenCradle(), 1);
    EXPECT_EQ(script->Opens(), 2);
    EXPECT_EQ(script->Closes(), 1);
    EXPECT_FALSE(link.HungUp());
}

TEST_F(SerialLinkFakeTest, SixHundredBytesAreReadAs522And78AndDecodedAcrossTheSeam) {
    ASSERT_EQ(OpenCradle(), 1);
    Bytes arrival(500, 0x00);
    const Bytes reply = sim::MemoryDataReply(0x0100, Bytes(64, 0x5C));
    arrival.insert(arrival.end(), reply.begin(), reply.end());  // spans byte 522
    arrival.resize(600, 0x00);
    script->PushBurst({arrival});
    ASSERT_TRUE(AwaitBurst());
    const auto reads = script->Reads();
    ASSERT_EQ(reads.size(), 2u);  // the third read is not made: nothing waits
    EXPECT_EQ(reads[0], (std::pair<std::size_t, std::size_t>{522, 522}));
    EXPECT_EQ(reads[1], (std::pair<std::size_t, std::size_t>{522, 78}));
    EXPECT_EQ(state.replyStatus.load(), kReplyData);
    EXPECT_EQ(state.replyBuf[4], 0x5C);
}

TEST_F(SerialLinkFakeTest, ChunkThatWouldFillTheQueueIsDroppedWithBuffFull) {
    ASSERT_EQ(OpenCradle(), 1);
    std::vector<Bytes> arrivals(19, Bytes(522, 0x00));
    arrivals.push_back(Bytes(182, 0x00));  // 10,100 bytes queued so far
    Bytes dropped(500, 0x00);
    const Bytes ack = sim::AckReply();
    std::copy(ack.begin(), ack.end(), dropped.end() - 5);
    arrivals.push_back(dropped);
    Bytes kept(400, 0x00);
    const Bytes status = sim::ShortDataReply(0x93, Bytes{0x40});
    std::copy(status.begin(), status.end(), kept.end() - static_cast<long>(status.size()));
    arrivals.push_back(kept);
    script->PushBurst(arrivals);
    ASSERT_TRUE(AwaitBurst());
    EXPECT_EQ(reporter.Texts(), std::vector<std::string>{"buff full"});
    EXPECT_EQ(state.replyStatus.load(), kReplyData);  // the 400 were decoded, the ACK was not
    EXPECT_EQ(state.replyBuf[2], 0x40);
    EXPECT_EQ(link.QueuedBytes(), 0);
}

TEST_F(SerialLinkFakeTest, CloseWhileWaitingEndsTheThreadWithoutAnotherRead) {
    ASSERT_EQ(OpenCradle(), 1);
    ASSERT_TRUE(script->AwaitWaiting(1, 5s));
    link.Close();  // returns only when the thread has ended
    EXPECT_EQ(script->WaitsInProgress(), 0);
    EXPECT_TRUE(script->Reads().empty());
    EXPECT_EQ(script->Closes(), 1);
}

TEST_F(SerialLinkFakeTest, RapidOpenCloseNeverRunsTwoWatchThreads) {
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(OpenCradle(), 1);
        if (i % 3 == 0) {
            script->PushBurst({sim::AckReply()});
        }
        link.Close();
    }
    EXPECT_LE(script->MaxConcurrentWaits(), 1);
    EXPECT_EQ(script->Opens(), 200);
    EXPECT_EQ(script->Closes(), 200);
}

TEST_F(SerialLinkFakeTest, OpenWhileOpenKeepsThePortOfTheSameDevice) {
    ASSERT_EQ(OpenCradle("ttyUSB0"), 1);
    ASSERT_TRUE(script->AwaitWaiting(1, 5s));
    state.linkActive = 0;  // as if a caller had looked away; Open sets it again
    EXPECT_EQ(OpenCradle("ttyUSB0"), 1);
    EXPECT_EQ(state.linkActive.load(), 1);
    EXPECT_EQ(script->Opens(), 1);
    EXPECT_TRUE(reporter.Messages().empty());
    script->PushBurst({sim::AckReply()});
    ASSERT_TRUE(AwaitBurst());  // the first watch thread still serves the port
    EXPECT_EQ(script->MaxConcurrentWaits(), 1);
}

TEST_F(SerialLinkFakeTest, OpenWhileOpenOnAnotherDeviceClosesTheOldPortFirst) {
    ASSERT_EQ(OpenCradle("ttyUSB0"), 1);
    ASSERT_EQ(OpenCradle("ttyUSB1"), 1);
    EXPECT_EQ(script->Opens(), 2);
    EXPECT_EQ(script->Closes(), 1);
    EXPECT_EQ(link.m_strPort, "ttyUSB1");
    EXPECT_LE(script->MaxConcurrentWaits(), 1);
}

TEST_F(SerialLinkFakeTest, RenewedEventIgnoresAnOldSignal) {
    ASSERT_EQ(OpenCradle(), 1);
    script->PushBurst({sim::NakReply()});
    // Let the burst end (the old event is set and nobody consumed it).
    for (int i = 0; i < 500 && !state.replyEvent.Current()->IsSet(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(state.replyEvent.Current()->IsSet());
    link.RenewReplyEvent();
    EXPECT_FALSE(state.replyEvent.Wait(20ms));
}

}  // namespace
}  // namespace sn
