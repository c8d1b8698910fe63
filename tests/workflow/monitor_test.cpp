// The cradle monitor's tick, in virtual time against the substitute pager.

#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "tests/support/view_access.h"
#include "tests/support/workflow_harness.h"

namespace sn {
namespace {

using sim::Fault;
using testing::WorkflowHarness;
namespace txt = sn::text;

class MonitorTest : public ::testing::Test, public WorkflowHarness {};

TEST_F(MonitorTest, StartState) {
    view.OnInitialUpdate();
    EXPECT_EQ(form.Status(), txt::kCheckSerial);
    EXPECT_FALSE(form.EditEnabled());
    EXPECT_FALSE(form.WriteEnabled());
    EXPECT_FALSE(form.ProgressShown());
    EXPECT_EQ(form.TimerPeriod(), 1000);
    EXPECT_EQ(selection.cradleMissing.load(), 1);
}

TEST_F(MonitorTest, ReadyOutcomeInOrder) {
    view.OnInitialUpdate();
    const auto before = form.Events().size();
    Tick();
    const auto events = form.Events();
    const std::vector<std::string> tail(events.begin() + static_cast<long>(before), events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "serial ''",
                        std::string("status") + txt::kEnterSerial,  // the change handling
                        "write off",
                        std::string("status") + txt::kEnterSerial,  // the outcome's own
                        "timer stop",
                        "edit on",
                        "focus",
                    }));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_FALSE(form.WriteEnabled());  // emptying the field emptied serialText
    EXPECT_EQ(view.HasSerial(), 0);
    EXPECT_EQ(timeline.Only("send"), (std::vector<std::string>{"send 22", "send 92"}));
}

TEST_F(MonitorTest, StatusBytesDecideReadyOrNumbered) {
    const std::pair<std::uint8_t, bool> cases[] = {
        {0x00, true}, {0xBF, true}, {0x40, false}, {0xFF, false}};
    for (auto [status, ready] : cases) {
        SCOPED_TRACE(static_cast<int>(status));
        WorkflowHarness h;
        h.pager.SetStatusByteOverride(status);
        h.StartReady();
        EXPECT_EQ(h.link.IsOpen(), ready ? 1 : 0);
        EXPECT_EQ(h.form.TimerPeriod().has_value(), !ready);
        EXPECT_EQ(h.form.Status(), ready ? txt::kEnterSerial : txt::kAlreadyNumbered);
        EXPECT_EQ(h.form.EditEnabled(), ready);
    }
}

TEST_F(MonitorTest, NotConnectedReportedOncePerDisconnection) {
    UnplugCradle();
    view.OnInitialUpdate();
    Tick();
    Tick();
    Tick();
    ASSERT_EQ(form.Boxes().size(), 1u);
    EXPECT_EQ(form.Boxes()[0].text, txt::kBoxNotConnected);
    EXPECT_EQ(form.Boxes()[0].caption, "Serial Number Tool");
    EXPECT_EQ(form.Boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(form.Status(), txt::kNotConnected);
    EXPECT_EQ(link.Opens(), 0);
    PlugCradle("COM3");
    Tick();
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
    EXPECT_EQ(view.DisconnectReported(), 0);
    UnplugCradle();
    Tick();  // closes the open link and reports again
    EXPECT_EQ(form.Boxes().size(), 2u);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(form.EditEnabled(), true);  // the edit keeps its state
}

// The box blocks the thread that ticks: a tick the timer fires meanwhile
// (from another thread) does nothing, so the report is never repeated and
// ticks never nest.
TEST_F(MonitorTest, TickWhileTheBoxIsOpenDoesNothing) {
    UnplugCradle();
    view.OnInitialUpdate();
    int nested = 0;
    form.onBox = [&](const testing::Box&) {
        PlugCradle("COM3");
        std::thread other([&] { view.OnTimer(0); });
        other.join();
        nested = link.Opens();
    };
    Tick();
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(form.Boxes().size(), 1u);
    form.onBox = nullptr;
    Tick();
    EXPECT_EQ(link.Opens(), 1);
}

// The first listed port is opened by its path (the device prefix of high COM
// numbers is the serial port's business); a chosen name that is not listed is
// opened as it is.
TEST_F(MonitorTest, ListedPortByItsPathChosenPortAsGiven) {
    WorkflowHarness automatic;
    automatic.PlugCradle("COM12");
    automatic.StartReady();
    EXPECT_EQ(automatic.link.OpenedNames(), std::vector<std::string>{"COM12"});
    selection.autoSelect = 0;
    selection.chosenPortName = "COM7";
    view.OnInitialUpdate();
    Tick();
    EXPECT_EQ(link.OpenedNames(), std::vector<std::string>{"COM7"});
    UnplugCradle();
    link.Close();
    Tick();  // no cradle: the chosen name is not even tried
    EXPECT_EQ(link.OpenedNames().size(), 1u);
    EXPECT_EQ(form.Status(), txt::kNotConnected);
}

TEST_F(MonitorTest, PortNotOpenedChangesNothing) {
    view.OnInitialUpdate();
    link.SetOpenFails(true);
    const auto events = form.Events().size();
    Tick();
    EXPECT_EQ(form.Events().size(), events);
    EXPECT_TRUE(timeline.Only("send").empty());
}

TEST_F(MonitorTest, ProbeNakSixTimesThenAckPacesAsItShould) {
    pager.ScriptFaults(kCmdPresenceProbe, std::vector<Fault>(6, Fault::Nak));
    view.OnInitialUpdate();
    timeline.Clear();
    Tick();
    const auto entries = timeline.Entries();
    // Each probe: send, sleep 20, wait, then the pause before the next one.
    std::vector<std::string> pausesAfterAnswer;
    int probes = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == "send 22") {
            ++probes;
            ASSERT_EQ(entries[i + 1], "sleep 20");
            ASSERT_EQ(entries[i + 2], "wait");
            if (entries[i + 3].rfind("sleep", 0) == 0) {
                pausesAfterAnswer.push_back(entries[i + 3]);
            }
        }
    }
    EXPECT_EQ(probes, 7);
    EXPECT_EQ(pausesAfterAnswer, (std::vector<std::string>{"sleep 20", "sleep 20", "sleep 20",
                                                           "sleep 20", "sleep 800", "sleep 20"}));
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
}

TEST_F(MonitorTest, NoReplyToTheFirstProbeEndsTheTick) {
    view.OnInitialUpdate();
    testing::ViewAccess::SetWriteDone(view, 1);
    pager.SetSeated(false);
    timeline.Clear();
    Tick();
    EXPECT_EQ(timeline.Entries(), (std::vector<std::string>{"open COM3", "send 22", "sleep 20",
                                                            "timeout 3000", "close"}));
    EXPECT_EQ(form.Status(), txt::kSeatPager);
    EXPECT_EQ(view.WriteDone(), 0);
    EXPECT_EQ(form.TimerPeriod(), 1000);
}

TEST_F(MonitorTest, TenProbesOrFiveQueriesWithoutAnswerMeanNoPager) {
    pager.SetStandingFault(kCmdPresenceProbe, Fault::Nak);
    view.OnInitialUpdate();
    Tick();
    EXPECT_EQ(pager.RequestCount(kCmdPresenceProbe), 10u);
    EXPECT_EQ(form.Status(), txt::kSeatPager);
    EXPECT_FALSE(link.IsOpen());

    pager.ClearFaults();
    pager.SetStandingFault(kCmdStatusQuery, Fault::BadChecksum);
    pager.ClearLog();
    Tick();
    EXPECT_EQ(pager.RequestCount(kCmdStatusQuery), 5u);
    EXPECT_EQ(form.Status(), txt::kSeatPager);
}

TEST_F(MonitorTest, AfterAWriteTheSuccessTextStaysUntilThePagerIsRemoved) {
    WriteWhenReady();
    ASSERT_EQ(form.Status(), txt::kCompleted);
    Tick();
    EXPECT_EQ(form.Status(), txt::kCompleted);
    EXPECT_FALSE(form.EditEnabled());
    EXPECT_FALSE(link.IsOpen());
    pager.SetSeated(false);
    Tick();
    EXPECT_EQ(form.Status(), txt::kSeatPager);
    pager.SetSeated(true);
    Tick();
    EXPECT_EQ(form.Status(), txt::kAlreadyNumbered);
}

// Another pager seated between two ticks after a write shows its own state:
// a fresh one is ready, and a numbered one that follows it is not taken for
// the pager just written.
TEST_F(MonitorTest, AnotherPagerAfterAWriteGetsItsOwnText) {
    WriteWhenReady();
    pager.Reset();
    Tick();
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
    EXPECT_EQ(view.WriteDone(), 0);
    pager.SetNumbered(true);
    form.StartTimer(2000);  // the About box closed
    Tick();
    EXPECT_EQ(form.Status(), txt::kAlreadyNumbered);
}

// A dialog restarts the timer while a pager waits for its number: the tick
// finds the link open, keeps it (no second open, no message) and asks again.
TEST_F(MonitorTest, TickWithTheLinkStillOpenKeepsIt) {
    StartReady();
    ASSERT_TRUE(link.IsOpen());
    form.StartTimer(2000);
    Tick();
    Tick();
    EXPECT_EQ(link.Opens(), 1);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
    EXPECT_FALSE(form.TimerPeriod().has_value());
}

TEST_F(MonitorTest, PortListErrorIsReportedOnceAndTheMonitorGoesOn) {
    view.OnInitialUpdate();
    ports.openSetError = 5;
    Tick();
    Tick();
    ASSERT_EQ(form.Boxes().size(), 1u);
    EXPECT_EQ(form.Boxes()[0].text, "SetupDiGetClassDevs failed. (err=5)");
    EXPECT_EQ(form.TimerPeriod(), 1000);
    ports.openSetError = 0;
    Tick();
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
    ports.openSetError = 5;
    link.Close();
    Tick();
    EXPECT_EQ(form.Boxes().size(), 2u);  // reported again after a good scan
}

}  // namespace
}  // namespace sn
