// The Write button and the read transaction, in virtual time against the
// substitute pager.

#include <gtest/gtest.h>

#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "tests/support/view_access.h"
#include "tests/support/workflow_harness.h"

namespace sn {
namespace {

using sim::Fault;
using testing::WorkflowHarness;
namespace txt = sn::text;

class ReadTest : public ::testing::Test, public WorkflowHarness {
  protected:
    // Ready, ten characters entered, and the record emptied.
    void SetUp() override {
        StartReady();
        Enter("AB12CD34EF");
        timeline.Clear();
    }
    // The pause that followed each block request.
    std::vector<std::string> PausesAfterBlockRequests() const {
        const auto e = timeline.Entries();
        std::vector<std::string> out;
        for (std::size_t i = 0; i + 1 < e.size(); ++i) {
            if (e[i] == "send 02") {
                out.push_back(e[i + 1]);
            }
        }
        return out;
    }
};

TEST_F(ReadTest, PressSetsTheFormAndStopsTheMonitor) {
    const auto before = form.Events().size();
    PressWrite();
    const auto events = form.Events();
    const std::vector<std::string> head(events.begin() + static_cast<long>(before),
                                        events.begin() + static_cast<long>(before) + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"timer stop", std::string("status") + txt::kGathering,
                                              "write off", "progress shown", "progress 0"}));
    EXPECT_EQ(view.SerialReady(), 0);
    EXPECT_EQ(timeline.Entries().front(), "sleep 100");
}

TEST_F(ReadTest, TwoAndThreeFailuresStillRead) {
    pager.ScriptFaults(kCmdReadBlock, {Fault::Nak, Fault::BadChecksum, Fault::None, Fault::Nak,
                                       Fault::WrongAddress, Fault::Nak, Fault::None});
    PressWrite();
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(pager.RequestCount(kCmdReadBlock), 7u);
    EXPECT_EQ(PausesAfterBlockRequests(),
              (std::vector<std::string>{"sleep 80", "sleep 100", "sleep 120", "sleep 120",
                                        "sleep 140", "sleep 160", "sleep 180"}));
    EXPECT_EQ(form.Status(), txt::kCompleted);
}

// Each step of the read, and the closing command after a refused model, ends
// in its own box when it fails: the port closed, the monitor back at one
// second, the form as the transaction left it.
TEST(ReadFailureTest, EachStepHasItsError) {
    using F = Fault;
    const std::vector<F> nak5(5, F::Nak), nakSilent{F::Nak, F::Silence}, silent{F::Silence};
    const std::vector<F> sixth{F::Nak, F::Nak, F::None, F::Nak, F::Nak, F::Nak, F::Nak};
    const struct {
        const char* what;
        const char* model;
        std::uint8_t command;
        const std::vector<F>& faults;
        const char* box;
        std::size_t requests;  // of the command
    } cases[] = {
        {"sixth failed block read", "KTN4070C", kCmdReadBlock, sixth, txt::kReadError2, 7},
        {"first block silent", "KTN4070C", kCmdReadBlock, silent, txt::kReadError5Read, 1},
        {"read finish refused", "KTN4070C", kCmdReadFinish, nak5, txt::kReadError3, 5},
        {"read finish silent", "KTN4070C", kCmdReadFinish, nakSilent, txt::kReadError5Read, 2},
        {"closing refused", "KTN4060C", kCmdClosing, nak5, txt::kReadError4, 5},
        {"closing silent", "KTN4060C", kCmdClosing, silent, txt::kReadError5Write, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WorkflowHarness h;
        h.pager.SetModelCode(c.model);
        h.pager.ScriptFaults(c.command, c.faults);
        h.WriteWhenReady();
        ASSERT_EQ(h.form.Boxes().size(), 1u);
        EXPECT_EQ(h.form.Boxes()[0].text, c.box);
        EXPECT_EQ(h.form.Boxes()[0].caption, "Serial Number Tool");
        EXPECT_EQ(h.form.Boxes()[0].icon, BoxIcon::Stop);
        EXPECT_EQ(h.pager.RequestCount(c.command), c.requests);
        EXPECT_EQ(h.pager.RequestCount(kCmdWriteStart), 0u);
        EXPECT_FALSE(h.link.IsOpen());
        EXPECT_EQ(h.form.TimerPeriod(), 1000);
        EXPECT_EQ(h.form.ProgressShown(), c.command != kCmdClosing);
        EXPECT_FALSE(h.form.WriteEnabled());
    }
}

TEST_F(ReadTest, PortClosedAtTheStartSendsNothing) {
    link.Close();
    timeline.Clear();
    PressWrite();
    ASSERT_EQ(form.Boxes().size(), 1u);
    EXPECT_EQ(form.Boxes()[0].text, txt::kReadError5Read);
    EXPECT_TRUE(timeline.Only("send").empty());
}

// A reply for another block must not land in the information area: it is a
// failed attempt, retried with the longer pause.
TEST_F(ReadTest, ReplyWithAnotherAddressIsRetried) {
    pager.ScriptFaults(kCmdReadBlock, {Fault::WrongAddress, Fault::None, Fault::WrongAddress});
    const auto block4 = pager.ReadMemory(0x0100, 64);
    const auto block5 = pager.ReadMemory(0x0140, 64);
    PressWrite();
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(PausesAfterBlockRequests(),
              (std::vector<std::string>{"sleep 80", "sleep 100", "sleep 100", "sleep 120"}));
    // What was written back is the pager's own area plus the serial number.
    const auto written = pager.ReadMemory(0x0100, 64);
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.begin() + 0x10),
              std::vector<std::uint8_t>(block4.begin(), block4.begin() + 0x10));
    const auto written5 = pager.ReadMemory(0x0160, 32);
    EXPECT_EQ(written5, std::vector<std::uint8_t>(block5.begin() + 0x20, block5.end()));
}

TEST_F(ReadTest, ProgressRunsZeroHundredZeroThenTheWritesSteps) {
    PressWrite();
    EXPECT_EQ(form.ProgressHistory(), (std::vector<int>{0, 0, 100, 0, 0, 0, 99, 100}));
}

TEST_F(ReadTest, RefusedModelGetsOnlyTheClosingCommand) {
    pager.SetModelCode("KTM2205C");
    const auto before = pager.ReadMemory(0x0100, 0x80);
    PressWrite();
    EXPECT_EQ(Sent(), (std::vector<std::string>{"send 02", "send 02", "send 23", "send 72"}));
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(form.Status(), txt::kModelRefused);
    EXPECT_FALSE(form.EditEnabled());
    EXPECT_FALSE(form.WriteEnabled());
    EXPECT_FALSE(form.ProgressShown());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(form.TimerPeriod(), 2000);
    EXPECT_EQ(pager.ReadMemory(0x0100, 0x80), before);
    const auto e = timeline.Entries();
    const auto closing = std::find(e.begin(), e.end(), "send 72");
    ASSERT_NE(closing, e.end());
    EXPECT_EQ(*(closing - 1), "sleep 50");
}

// While a transaction runs (here: its error box is open), the field and the
// button change nothing: no second worker, pagerImage and serialBytes stay.
TEST_F(ReadTest, EditsAndPressesDuringATransactionChangeNothing) {
    pager.ScriptFaults(kCmdReadBlock, {Fault::Silence});
    bool checked = false;
    form.onBox = [&](const testing::Box&) {
        const auto status = form.Status();
        form.Type("ZZZZZZZZZZ");
        view.OnSerialKillFocus();
        testing::ViewAccess::SetSerialReady(view, 1);
        view.OnWriteButton();
        EXPECT_EQ(std::string(view.SerialBytes().begin(), view.SerialBytes().end()), "AB12CD34EF");
        EXPECT_EQ(view.PagerImage()[kSerialAddress], 'A');
        EXPECT_EQ(form.Status(), status);
        checked = true;
    };
    PressWrite();
    EXPECT_TRUE(checked);
    EXPECT_EQ(pager.RequestCount(kCmdReadBlock), 1u);
}

}  // namespace
}  // namespace sn
