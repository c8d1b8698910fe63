// The model check and the write transaction, in virtual time against the
// substitute pager.

#include <gtest/gtest.h>

#include <algorithm>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "tests/support/workflow_harness.h"

namespace sn {
namespace {

using sim::Fault;
using testing::WorkflowHarness;
using Bytes = std::vector<std::uint8_t>;
namespace txt = sn::text;

class WriteTest : public ::testing::Test, public WorkflowHarness {
  protected:
    void Run(const std::string& serial = "AB12CD34EF") {
        StartReady();
        Enter(serial);
        timeline.Clear();
        pager.ClearLog();
        PressWrite();
    }
};

// A clean write: the prepared area and its mirror, every frame in order with
// its pauses, and the form and the monitor as the success leaves them.
TEST_F(WriteTest, ACleanWrite) {
    const Bytes original = pager.ReadMemory(kInfoAreaStart, kInfoAreaSize);
    Run("ab12cd34ef");
    EXPECT_TRUE(form.Boxes().empty());
    const Bytes area = pager.ReadMemory(kInfoAreaStart, kInfoAreaSize);
    EXPECT_EQ(std::string(area.begin() + 0x10, area.begin() + 0x1A), "AB12CD34EF");
    EXPECT_EQ(area[0x3F], 0x01);
    EXPECT_EQ(area[0x5F], SumChecksum(std::span(area).first(0x5F)));
    EXPECT_TRUE(std::equal(area.begin() + 0x60, area.end(), original.begin() + 0x60));
    EXPECT_TRUE(std::equal(area.begin(), area.begin() + 0x10, original.begin()));
    EXPECT_EQ(pager.ReadMemory(kMirrorAreaStart, kInfoAreaSize), area);

    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"send 02", "send 02", "send 23", "send 20", "send 01",
                                        "send 01", "send 01", "send 01", "send 21", "send 72"}));
    std::vector<std::uint16_t> addresses;
    for (const auto& e : pager.Log()) {
        if (e.request.command == kCmdWriteBlock) {
            addresses.push_back(e.request.Address());
            // blocks 240 and 241 as sent are blocks 4 and 5, byte for byte
            EXPECT_EQ(e.request.Data(), pager.ReadMemory((e.request.Address() & 0x7F) | 0x100, 64));
        }
    }
    EXPECT_EQ(addresses, (std::vector<std::uint16_t>{0x0100, 0x0140, 0x3C00, 0x3C40}));
    int total = 0;  // every pause the transaction takes, from the press to its end
    for (const auto& sleep : timeline.Only("sleep")) {
        total += std::stoi(sleep.substr(6));
    }
    EXPECT_EQ(total, 1260);

    EXPECT_EQ(form.Status(), txt::kCompleted);
    EXPECT_EQ(form.StatusHistory().end()[-2], txt::kWriting);
    EXPECT_EQ(view.WriteDone(), 1);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(form.WriteEnabled());
    EXPECT_FALSE(form.ProgressShown());
    EXPECT_EQ(form.TimerPeriod(), 2000);
}

// Each block has a budget of ten failures of its own: an eleventh is Write
// Error #2, its text staying until the next tick.
TEST(WriteFailureTest, TenFailuresABlockAreAbsorbedAnEleventhIsWriteError2) {
    std::vector<Fault> absorbed(10, Fault::Nak), eleventh{Fault::None};
    absorbed.push_back(Fault::None);
    absorbed.insert(absorbed.end(), 10, Fault::BadChecksum);
    eleventh.insert(eleventh.end(), 11, Fault::Nak);
    for (const auto& [faults, requests, box] :
         {std::tuple(absorbed, 24u, ""), std::tuple(eleventh, 12u, txt::kWriteError2)}) {
        WorkflowHarness h;
        h.pager.ScriptFaults(kCmdWriteBlock, faults);
        h.WriteWhenReady();
        EXPECT_EQ(h.pager.RequestCount(kCmdWriteBlock), requests);
        const bool failed = *box != '\0';
        EXPECT_EQ(failed ? h.form.Boxes().at(0).text : std::string(), box);
        EXPECT_EQ(h.form.Status(), failed ? txt::kWriting : txt::kCompleted);
        EXPECT_EQ(h.form.ProgressShown(), failed);
    }
}

struct StepFailure {
    const char* what;
    std::uint8_t command;
    Fault fault;
    const char* box;
    std::size_t blocksWritten;
};

TEST(WriteFailureTest, EachStepHasItsError) {
    const StepFailure cases[] = {
        {"write start", kCmdWriteStart, Fault::Nak, txt::kWriteError1, 0},
        {"write start silent", kCmdWriteStart, Fault::Silence, txt::kWriteError5, 0},
        {"block silent", kCmdWriteBlock, Fault::Silence, txt::kWriteError5, 0},
        {"write finish", kCmdWriteFinish, Fault::Nak, txt::kWriteError3, 4},
        {"write finish silent", kCmdWriteFinish, Fault::Silence, txt::kWriteError5, 4},
        {"closing", kCmdClosing, Fault::BadChecksum, txt::kWriteError4, 4},
        {"closing silent", kCmdClosing, Fault::Silence, txt::kWriteError5, 4},
    };
    for (const StepFailure& c : cases) {
        SCOPED_TRACE(c.what);
        WorkflowHarness h;
        h.pager.SetStandingFault(c.command, c.fault);
        h.WriteWhenReady();
        ASSERT_EQ(h.form.Boxes().size(), 1u);
        EXPECT_EQ(h.form.Boxes()[0].text, c.box);
        EXPECT_EQ(h.pager.RequestCount(kCmdWriteBlock),
                  c.blocksWritten + (c.blocksWritten < 4 && c.command == kCmdWriteBlock ? 1 : 0));
        if (c.fault != Fault::Silence) {
            EXPECT_EQ(h.pager.RequestCount(c.command), 5u);
        }
        // The failure exit sets one second; the read transaction's end 2000 ms.
        const auto events = h.form.Events();
        const auto box = std::find_if(events.begin(), events.end(),
                                      [](const auto& e) { return e.rfind("box", 0) == 0; });
        ASSERT_NE(box, events.end());
        EXPECT_EQ(*(box + 1), "timer 1000");
        EXPECT_EQ(events.back(), "timer 2000");
        EXPECT_FALSE(h.link.IsOpen());
    }
}

TEST(ModelCheckTest, RefusesExactlyTheListedCodes) {
    const std::vector<std::string> listed = {"KTN4060C", "KTN4062C", "KTM2211C", "KTM2209C",
                                             "KTM2207C", "KTM2205C", "KTM2203C", "KTM2201C"};
    EXPECT_EQ(std::vector<std::string>(blockedModels.begin(), blockedModels.end()), listed);
    struct Case {
        const char* what;
        Bytes field;
        bool refused;
    };
    auto text = [](std::string s) { return Bytes(s.begin(), s.end()); };
    std::vector<Case> cases;
    for (const std::string& code : listed) {
        cases.push_back({"listed", text(code + "\xFF"), true});
    }
    cases.push_back({"lower case", text("ktn4060c\xFF"), false});
    cases.push_back({"ninth character", text("KTN4060CX\xFF"), false});
    cases.push_back({"empty",
                     text("\xFF"
                          "KTN4060C"),
                     false});
    cases.push_back(
        {"then 0x00", Bytes{'K', 'T', 'N', '4', '0', '6', '0', 'C', 0, 0, 'Z', 0xFF}, true});
    cases.push_back({"sixteen", text("KTN4060CKTN4060C"), false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WorkflowHarness h;
        Bytes field(16, 0xFF);
        std::copy(c.field.begin(), c.field.begin() + std::min<std::size_t>(16, c.field.size()),
                  field.begin());
        h.pager.WriteMemory(kModelCodeAddress, field);
        h.pager.RefreshInfoArea();
        h.WriteWhenReady();
        EXPECT_EQ(h.pager.RequestCount(kCmdWriteStart), c.refused ? 0u : 1u);
        EXPECT_EQ(h.form.Status(), c.refused ? txt::kModelRefused : txt::kCompleted);
        EXPECT_TRUE(h.form.Boxes().empty());
    }
}

// The monitor rests while the operator types, so a numbered pager can be
// seated in its place: its number is never overwritten.
TEST_F(WriteTest, PagerNumberedMeanwhileIsRefusedAndLeftAlone) {
    StartReady();
    Enter("AB12CD34EF");
    pager.SetNumbered(true);
    const Bytes before = pager.ReadMemory(kInfoAreaStart, kInfoAreaSize);
    pager.ClearLog();
    PressWrite();
    EXPECT_EQ(pager.RequestCount(kCmdWriteStart), 0u);
    EXPECT_EQ(pager.RequestCount(kCmdWriteBlock), 0u);
    EXPECT_EQ(pager.RequestCount(kCmdClosing), 1u);
    EXPECT_EQ(pager.ReadMemory(kInfoAreaStart, kInfoAreaSize), before);
    EXPECT_EQ(form.Status(), txt::kAlreadyNumbered);
    EXPECT_FALSE(form.EditEnabled());
    EXPECT_TRUE(form.Boxes().empty());
    EXPECT_EQ(form.TimerPeriod(), 2000);
}

// Ctrl+N while the worker runs changes nothing of what the worker uses.
TEST_F(WriteTest, NewDocumentDuringATransactionIsIgnored) {
    pager.ScriptFaults(kCmdWriteStart, std::vector<Fault>(5, Fault::Nak));
    form.onBox = [this](const testing::Box&) { view.OnInitialUpdate(); };
    Run();
    ASSERT_EQ(form.Boxes().size(), 1u);
    EXPECT_EQ(form.Boxes()[0].text, txt::kWriteError1);
    EXPECT_EQ(std::string(view.SerialBytes().begin(), view.SerialBytes().end()), "AB12CD34EF");
    const auto history = form.StatusHistory();
    const auto gathering = std::find(history.begin(), history.end(), txt::kGathering);
    EXPECT_EQ(std::count(gathering, history.end(), txt::kCheckSerial), 0);
    EXPECT_EQ(history.back(), txt::kWriting);
}

// Write pressed while a tick still waits for the pager: the tick's outcome
// does not land on top of the transaction's texts, nor empty the field.
TEST_F(WriteTest, TickStillRunningWhenWriteIsPressedLeavesTheFormToIt) {
    StartReady();
    Enter("AB12CD34EF");
    form.StartTimer(2000);  // the About box closed: ticks again
    bool pressed = false;
    clock.onSleep = [&](std::chrono::milliseconds) {
        if (!pressed) {
            pressed = true;
            view.OnWriteButton();  // during the probe's first pause
        }
    };
    Tick();
    view.WaitForTransaction();
    const auto history = form.StatusHistory();
    const auto gathering = std::find(history.begin(), history.end(), txt::kGathering);
    ASSERT_NE(gathering, history.end());
    EXPECT_EQ(std::count(gathering, history.end(), txt::kEnterSerial), 0);
    EXPECT_EQ(form.Status(), txt::kCompleted);
    EXPECT_EQ(form.SerialText(), "AB12CD34EF");
    EXPECT_EQ(pager.ReadMemory(kSerialAddress, 10),
              Bytes({'A', 'B', '1', '2', 'C', 'D', '3', '4', 'E', 'F'}));
}

// The model code ends at the first erased byte or after sixteen; shown, its
// unprintable bytes become dots.
TEST(ModelCheckTest, ModelTextStopsAtTheFirstErasedByteOrSixteen) {
    const struct {
        std::string field;  // from 0x012A on
        std::string code;
        std::string shown;
    } cases[] = {
        {std::string(17, 'M'), std::string(16, 'M'), std::string(16, 'M')},
        {"MMM\xFFMM", "MMM", "MMM"},
        {"\xFFMMM", "", ""},
        {"KT\x07\x9BN", "KT\x07\x9BN", "KT..N"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> area(kInfoAreaSize, 0xFF);
        std::copy(c.field.begin(), c.field.end(),
                  area.begin() + (kModelCodeAddress - kInfoAreaStart));
        EXPECT_EQ(ModelCodeOf(area), c.code) << c.shown;
        EXPECT_EQ(PrintableText(ModelCodeOf(area)), c.shown);
    }
}

}  // namespace
}  // namespace sn
