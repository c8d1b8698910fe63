// The form's own logic: the key filter, leaving the field, changes of the field.

#include <gtest/gtest.h>

#include "protocol/serial.h"
#include "tests/support/view_access.h"
#include "tests/support/workflow_harness.h"
#include "workflow/key_filter.h"

namespace sn {
namespace {

using testing::WorkflowHarness;
namespace txt = sn::text;

struct KeyCase {
    const char* what;
    int key;
    bool shift, ctrl, alt;
    KeyDecision decision;
};

TEST(KeyFilterTest, Matrix) {
    const KeyCase cases[] = {
        {"left", vk::kLeft, false, false, false, KeyDecision::Pass},
        {"right", vk::kRight, false, false, false, KeyDecision::Pass},
        {"delete", vk::kDelete, false, false, false, KeyDecision::Pass},
        {"backspace", vk::kBackspace, false, false, false, KeyDecision::Pass},
        {"space", vk::kSpace, false, false, false, KeyDecision::Consume},
        {"1", 0x31, false, false, false, KeyDecision::Pass},
        {"shift+1", 0x31, true, false, false, KeyDecision::Consume},
        {"keypad 1", 0x61, false, false, false, KeyDecision::Pass},
        {"shift+keypad 1", 0x61, true, false, false, KeyDecision::Pass},
        {"keypad multiply", vk::kMultiply, false, false, false, KeyDecision::Pass},
        {"keypad minus", vk::kSubtract, false, false, false, KeyDecision::Consume},
        {"tab", vk::kTab, false, false, false, KeyDecision::Consume},
        {"enter", vk::kReturn, false, false, false, KeyDecision::Consume},
        {"escape", vk::kEscape, false, false, false, KeyDecision::Consume},
        {"home", vk::kHome, false, false, false, KeyDecision::Consume},
        {"end", vk::kEnd, false, false, false, KeyDecision::Consume},
        {"up", vk::kUp, false, false, false, KeyDecision::Consume},
        {"down", vk::kDown, false, false, false, KeyDecision::Consume},
        {"minus", vk::kMinus, false, false, false, KeyDecision::Consume},
        {"F1", vk::kF1, false, false, false, KeyDecision::Consume},
        {"a", 0x41, false, false, false, KeyDecision::Pass},
        {"shift+a", 0x41, true, false, false, KeyDecision::Pass},
        {"ctrl+c", vk::kC, false, true, false, KeyDecision::Copy},
        {"ctrl+v", vk::kV, false, true, false, KeyDecision::Paste},
        {"ctrl+x", 0x58, false, true, false, KeyDecision::Consume},
        {"ctrl+a", 0x41, false, true, false, KeyDecision::Consume},
        {"ctrl+z", vk::kZ, false, true, false, KeyDecision::Consume},
        {"ctrl+shift+c", vk::kC, true, true, false, KeyDecision::Pass},
        {"ctrl+alt+v", vk::kV, false, true, true, KeyDecision::Pass},
        {"ctrl+1", 0x31, false, true, false, KeyDecision::Pass},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(FilterSerialKey(c.key, c.shift, c.ctrl, c.alt), c.decision) << c.what;
    }
}

// The one rule for a serial number, with its one message: the characters
// the key filter lets be typed, ten of them, upper-cased.
TEST(SerialTest, TenLettersDigitsOrStars) {
    const struct {
        std::string text;
        const char* canonical;  // nullptr: no serial number
        const char* why;
    } cases[] = {
        {"AB12CD34EF", "AB12CD34EF", ""},
        {"ab12cD34ef", "AB12CD34EF", ""},
        {"09AZaz**09", "09AZAZ**09", ""},
        {"AB12CD34E", nullptr, " (got 9)"},
        {"", nullptr, " (got 0)"},
        {"AB12-CD34E", nullptr, " (position 5 holds '-')"},
        {"AB12CD34E\xC4", nullptr, " (position 10 holds byte 0xC4)"},
    };
    const std::string rule = "must be exactly 10 characters, only letters, digits and '*'";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto serial = Serial::Parse(c.text);
        ASSERT_EQ(serial.has_value(), c.canonical != nullptr);
        EXPECT_EQ(Serial::Problem(c.text), c.canonical ? std::string() : rule + c.why);
        if (serial) {
            EXPECT_EQ(serial->Text(), c.canonical);
            const auto bytes = serial->Bytes();
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.canonical);
            EXPECT_EQ(Serial::FromKey(serial->Key()), serial);
        }
    }
}

class FormTest : public ::testing::Test, public WorkflowHarness {};

TEST_F(FormTest, CopyAndPasteGoToTheField) {
    StartReady();
    form.Type("AB12");
    form.HoldKeys(false, true, false);
    EXPECT_TRUE(view.PreTranslateKeyDown(vk::kC));
    EXPECT_EQ(form.Clipboard(), "AB12");
    form.SetClipboard("-_+ 9999");  // paste is not filtered, but the field holds ten
    EXPECT_TRUE(view.PreTranslateKeyDown(vk::kV));
    EXPECT_EQ(form.SerialText(), "AB12-_+ 99");
    EXPECT_TRUE(view.PreTranslateKeyDown(0x58));  // ctrl+x does nothing
    EXPECT_EQ(form.SerialText(), "AB12-_+ 99");
    form.HoldKeys(true, false, false);
    EXPECT_TRUE(view.PreTranslateKeyDown(0x31));
    EXPECT_FALSE(view.PreTranslateKeyDown(0x41));
}

// Leaving the field: ten characters of a serial number are taken, upper-
// cased; anything else says why and takes nothing (a paste brings what the
// key filter would not let be typed: ten such characters are as invalid as
// nine).
TEST(LeaveFieldTest, TakesTenCharactersOfASerialNumberOnly) {
    const struct {
        const char* text;
        const char* status;
        const char* taken;  // nullptr: nothing
    } cases[] = {
        {"", txt::kEnterSerial, nullptr},
        {"AB12CD34E", txt::kSerialInvalid, nullptr},
        {"a*z-9 b.c!", txt::kSerialInvalid, nullptr},
        {"ab12cd34ef", txt::kClickWrite, "AB12CD34EF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WorkflowHarness h;
        h.StartReady();
        h.form.SetSerialText(c.text);
        h.view.OnSerialKillFocus();
        EXPECT_EQ(h.form.Status(), c.status);
        EXPECT_EQ(h.view.SerialReady(), c.taken ? 1 : 0);
        EXPECT_EQ(h.view.KeepStatusOnce(), c.taken ? 0 : 1);
        const auto& bytes = h.view.SerialBytes();
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                  c.taken ? std::string(c.taken) : std::string(10, '\0'));
    }
}

TEST_F(FormTest, NineCharactersAreInvalidAndTheMessageStaysOnce) {
    StartReady();
    form.Type("AB12CD34E");
    view.OnSerialKillFocus();
    form.Type("AB12CD34");  // deleting one leaves the message
    EXPECT_EQ(form.Status(), txt::kSerialInvalid);
    EXPECT_EQ(view.KeepStatusOnce(), 0);
    form.Type("AB12CD3");
    EXPECT_EQ(form.Status(), txt::kEnterSerial);
}

TEST_F(FormTest, NineThenTheTenthShowsClickAtOnce) {
    StartReady();
    form.Type("AB12CD34E");
    view.OnSerialKillFocus();
    form.Type("AB12CD34EF");
    EXPECT_EQ(form.Status(), txt::kClickWrite);
    EXPECT_TRUE(form.WriteEnabled());
}

TEST_F(FormTest, NumberedPagerMakesLeavingTheFieldDoNothing) {
    StartReady();
    testing::ViewAccess::SetHasSerial(view, 0x40);
    form.Type("AB12CD34EF");
    const auto events = form.Events().size();
    view.OnSerialKillFocus();
    EXPECT_EQ(form.Events().size(), events);
    EXPECT_EQ(view.SerialReady(), 0);
}

TEST_F(FormTest, WriteButtonFollowsTheText) {
    StartReady();
    form.Type("A");
    EXPECT_TRUE(form.WriteEnabled());
    form.Type("");
    EXPECT_FALSE(form.WriteEnabled());
}

TEST_F(FormTest, PressWithoutAReadySerialChangesNothing) {
    StartReady();
    form.Type("AB12");
    view.OnSerialKillFocus();
    const auto events = form.Events().size();
    view.OnWriteButton();
    EXPECT_EQ(form.Events().size(), events);
    EXPECT_FALSE(view.TransactionRunning());
}

}  // namespace
}  // namespace sn
