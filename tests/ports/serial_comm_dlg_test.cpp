// The System Configuration dialog's rules over a scripted source.

#include "ports/serial_comm_dlg.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_port_source.h"

namespace sn {
namespace {

using testing::ScriptedInterface;
using testing::ScriptedPortSource;

class SerialCommDlgTest : public ::testing::Test {
  protected:
    void List(std::initializer_list<std::string> names) {
        source.interfaces.clear();
        for (const auto& n : names) {
            source.interfaces.push_back(ScriptedInterface{
                "p" + n, "Silicon Labs CP210x USB to UART Bridge (" + n + ")", "d", "USB", 0});
        }
    }
    ScriptedPortSource source;
    PortSelection sel;
};

TEST_F(SerialCommDlgTest, FirstOpeningSelectsEntryZeroWhateverTheChosenName) {
    List({"COM3", "COM7"});
    sel.chosenPortName = "COM7";
    const auto init = SerialCommDlgOnInit(source, sel);
    EXPECT_EQ(init.entries, (std::vector<std::string>{"COM3", "COM7"}));
    EXPECT_EQ(init.selected, 0);
    EXPECT_EQ(sel.autoSelect.load(), 0);
}

TEST_F(SerialCommDlgTest, ConfirmedPortListedThirdSelectsEntryTwo) {
    List({"COM3", "COM4", "COM7"});
    SerialCommDlgOnInit(source, sel);
    SerialCommDlgOnOK(sel, "COM7");
    EXPECT_EQ(sel.portConfirmed.load(), 1);
    EXPECT_EQ(sel.cradleMissing.load(), 0);
    EXPECT_EQ(SerialCommDlgOnInit(source, sel).selected, 2);
}

TEST_F(SerialCommDlgTest, ConfirmedPortGoneTakesEntryZeroEvenOnCancel) {
    List({"COM7"});
    SerialCommDlgOnInit(source, sel);
    SerialCommDlgOnOK(sel, "COM7");
    List({"COM3", "COM4"});
    const auto init = SerialCommDlgOnInit(source, sel);
    EXPECT_EQ(init.selected, 0);
    EXPECT_EQ(sel.chosenPortName, "COM3");
    SerialCommDlgOnCancel(sel);
    EXPECT_EQ(sel.chosenPortName, "COM3");
    EXPECT_EQ(sel.autoSelect.load(), 0);  // manual stays manual
}

TEST_F(SerialCommDlgTest, CancelAtTheFirstOpeningReturnsToAutomatic) {
    List({"COM3"});
    sel.cradleMissing = 1;
    SerialCommDlgOnInit(source, sel);
    SerialCommDlgOnCancel(sel);
    EXPECT_EQ(sel.autoSelect.load(), 1);
    EXPECT_EQ(sel.portConfirmed.load(), 0);
    EXPECT_EQ(sel.cradleMissing.load(), 0);
}

TEST_F(SerialCommDlgTest, MoreThan255PortsAreAllOffered) {
    std::vector<std::string> names;
    source.interfaces.clear();
    for (int i = 0; i < 300; ++i) {
        const std::string n = "COM" + std::to_string(i + 1);
        source.interfaces.push_back(ScriptedInterface{
            "p" + n, "Silicon Labs CP210x USB to UART Bridge (" + n + ")", "d", "USB", 0});
    }
    SerialCommDlgOnInit(source, sel);
    SerialCommDlgOnOK(sel, "COM290");
    const auto init = SerialCommDlgOnInit(source, sel);
    EXPECT_EQ(init.entries.size(), 300u);
    EXPECT_EQ(init.selected, 289);  // an 8-bit index would have wrapped
}

TEST_F(SerialCommDlgTest, EmptyListSelectsNothingAndOkMakesTheChoiceEmpty) {
    List({});
    sel.portConfirmed = 1;
    sel.chosenPortName = "COM7";
    const auto init = SerialCommDlgOnInit(source, sel);
    EXPECT_EQ(init.selected, -1);
    EXPECT_EQ(sel.chosenPortName, "COM7");
    SerialCommDlgOnOK(sel, "");
    EXPECT_EQ(sel.chosenPortName, "");
    EXPECT_EQ(sel.autoSelect.load(), 0);
}

TEST_F(SerialCommDlgTest, MenuItemFollowsTheLastScan) {
    sel.cradleMissing = 1;
    EXPECT_FALSE(SystemSetupEnabled(sel));
    sel.cradleMissing = 0;
    EXPECT_TRUE(SystemSetupEnabled(sel));
}

}  // namespace
}  // namespace sn
