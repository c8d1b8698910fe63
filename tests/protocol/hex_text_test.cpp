#include "protocol/hex_text.h"

#include <gtest/gtest.h>

#include <string>

namespace sn {
namespace {

struct TextCase {
    std::string name;
    std::string text;
    FrameBytes bytes;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameTextToBytesTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FrameTextToBytesTest, Converts) {
    const TextCase& c = GetParam();
    EXPECT_EQ(FrameTextToBytes(c.text), c.bytes) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FrameTextToBytesTest,
    ::testing::Values(
        TextCase{"Probe", "02 70 22 92 03", {0x02, 0x70, 0x22, 0x92, 0x03}},
        TextCase{"ProbeWithoutBlanks", "0270229203", {0x02, 0x70, 0x22, 0x92, 0x03}},
        TextCase{"LowerCase", "02 70 72 e2 03", {0x02, 0x70, 0x72, 0xE2, 0x03}},
        TextCase{"StatusQuery", "02 70 92 02 03", {0x02, 0x70, 0x92, 0x02, 0x03}},
        TextCase{"IrregularBlanks",
                 "02 70 02010000 40B303",
                 {0x02, 0x70, 0x02, 0x01, 0x00, 0x00, 0x40, 0xB3, 0x03}},
        TextCase{"CrLfBetweenPairs", "02 70\r\n22 92\r\n03", {0x02, 0x70, 0x22, 0x92, 0x03}},
        // A lone line feed is not removed; it is a digit of value 0.
        TextCase{"LoneLineFeed", "0\n", {0x00}},
        TextCase{"LoneCarriageReturnCountsAsZero", "\r7", {0x07}},
        TextCase{"TabIsNotABlank", "0\t7", {0x00, 0x07}},
        TextCase{"OddLength", "027", {0x02, 0x07}}, TextCase{"Empty", "", {}},
        TextCase{"BlanksOnly", "    ", {}}, TextCase{"NonHexIsZero", "0G", {0x00}},
        TextCase{"HighNonHexIsZero", "Z5", {0x05}}),
    [](const auto& info) { return info.param.name; });

TEST(HexDigitValueTest, EveryCharacter) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        int expected = 0;
        if (ch >= '0' && ch <= '9') {
            expected = ch - '0';
        } else if (ch >= 'A' && ch <= 'F') {
            expected = ch - 'A' + 10;
        } else if (ch >= 'a' && ch <= 'f') {
            expected = ch - 'a' + 10;
        }
        EXPECT_EQ(HexDigitValue(ch), expected) << "character " << c;
    }
}

TEST(FrameTextToBytesTest, LeavesCallersTextAlone) {
    const std::string text = "02 70 22 92 03";
    const std::string copy = text;
    (void)FrameTextToBytes(text);
    EXPECT_EQ(text, copy);
}

}  // namespace
}  // namespace sn
