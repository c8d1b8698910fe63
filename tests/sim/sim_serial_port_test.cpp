// The in-process port of --simulate on Windows: the substitute pager's
// replies in pieces, the wait's wake-ups, and the whole workflow over it.

#include "sim/sim_serial_port.h"

#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "protocol/hex_text.h"
#include "protocol/pager_memory.h"
#include "serial/serial_link.h"
#include "tests/support/await_reply.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/scripted_port_source.h"
#include "tests/support/workflow_fakes.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {
namespace {

using namespace std::chrono_literals;

void Send(SerialPort& port, std::string_view text) {
    const FrameBytes bytes = FrameTextToBytes(std::string(text));
    ASSERT_EQ(port.Write(bytes.data(), bytes.size(), 100ms), bytes.size());
}

// What each wait-and-read takes, until `total` bytes have come.
std::vector<std::size_t> ReadPieces(SerialPort& port, std::size_t total) {
    std::vector<std::size_t> pieces;
    std::uint8_t buf[64];
    for (std::size_t got = 0; got < total;) {
        if (port.WaitForInput(std::nullopt) != WaitResult::Input) {
            break;
        }
        const std::size_t n = port.Read(buf, sizeof buf);
        pieces.push_back(n);
        got += n;
    }
    return pieces;
}

// Slow pieces, so that a loaded machine still reads each on its own.
TEST(SimSerialPortTest, RepliesComeInPiecesOrWhole) {
    struct Case {
        const char* what;
        sim::Delivery delivery;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {"pieces of 6", {6, 40ms}, {6, 2}},  // the status reply: 8 bytes
        {"whole", sim::kWholeReplies, {8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SubstitutePager pager;
        sim::SimSerialPort port(pager, c.delivery);
        ASSERT_TRUE(port.Open("SIMULATED"));
        ASSERT_TRUE(port.Configure(LineSettings{}));
        ASSERT_TRUE(port.PrepareWait());
        Send(port, kStatusQueryFrame);
        EXPECT_EQ(ReadPieces(port, 8), c.pieces);
        EXPECT_EQ(port.BytesWaiting(), 0u);
    }
}

TEST(SimSerialPortTest, CancelAndUnplugEndTheWait) {
    sim::SubstitutePager pager;
    sim::SimSerialPort port(pager);
    ASSERT_TRUE(port.Open("SIMULATED"));
    std::thread canceller([&] {
        std::this_thread::sleep_for(20ms);
        port.CancelWait();
    });
    EXPECT_EQ(port.WaitForInput(std::nullopt), WaitResult::Cancelled);
    canceller.join();
    ASSERT_TRUE(port.Open("SIMULATED"));  // a new open waits again
    port.Unplug();
    EXPECT_EQ(port.WaitForInput(std::nullopt), WaitResult::HungUp);
    std::thread late([&] {
        std::this_thread::sleep_for(20ms);
        port.CancelWait();
    });
    EXPECT_EQ(port.WaitForInput(std::nullopt), WaitResult::Cancelled);  // no second hang-up, no busy loop
    late.join();
    const std::uint8_t probe[] = {0x02, 0x70, 0x22, 0x92, 0x03};
    EXPECT_EQ(port.Write(probe, sizeof probe, 100ms), 0u);
    port.Close();
    EXPECT_FALSE(port.Open("SIMULATED"));
    EXPECT_FALSE(port.LastError().empty());
}

// The workflow on real threads over the in-process port: the link, its watch
// thread and the pager's piecewise replies, as `sntool --simulate` on Windows.
TEST(SimSerialPortTest, CompleteWriteOverTheLink) {
    sim::SubstitutePager pager;
    testing::RecordingReporter reporter;
    LinkState state;
    CSerialLink link{state, &reporter, [&] { return std::make_unique<sim::SimSerialPort>(pager); }};
    testing::ScriptedPortSource ports;
    ports.interfaces = {testing::ScriptedInterface{
        "SIMULATED", "Silicon Labs CP210x USB to UART Bridge (SIMULATED)",
        "Silicon Labs CP210x USB to UART Bridge", "USB", 0}};
    SystemClock clock;
    PortSelection selection;
    testing::FakeForm form;
    CVexloView view{form, link, ports, clock, selection};
    form.Attach(&view);
    view.OnInitialUpdate();
    view.OnTimer(0);
    ASSERT_EQ(form.Status(), text::kEnterSerial);
    form.Type("AB12CD34EF");
    view.OnSerialKillFocus();
    view.OnWriteButton();
    view.WaitForTransaction();
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(form.Status(), text::kCompleted);
    const auto serial = pager.ReadMemory(kSerialAddress, kSerialLength);
    EXPECT_EQ(std::string(serial.begin(), serial.end()), "AB12CD34EF");
    EXPECT_TRUE(pager.IsNumbered());
    view.Shutdown();
}

}  // namespace
}  // namespace sn
