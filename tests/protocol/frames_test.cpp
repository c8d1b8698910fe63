#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "protocol/checksum.h"
#include "protocol/hex_text.h"
#include "protocol/pager_memory.h"

namespace sn {
namespace {

TEST(ChecksumTest, WorkedExamples) {
    const FrameBytes probe = FrameTextToBytes(kPresenceProbeFrame);
    EXPECT_EQ(FrameChecksum(probe), 0x92);
    const FrameBytes status = FrameTextToBytes(kStatusQueryFrame);
    EXPECT_EQ(FrameChecksum(status), 0x02);  // 0x70 + 0x92 = 0x102
    EXPECT_EQ(FrameChecksum(FrameBytes{0x02, 0x03}), 0x00);
}

TEST(FixedFramesTest, EachCarriesItsOwnChecksum) {
    for (std::string_view text : {kPresenceProbeFrame, kStatusQueryFrame, kReadFinishFrame,
                                  kWriteStartFrame, kWriteFinishFrame, kClosingFrame}) {
        const FrameBytes bytes = FrameTextToBytes(text);
        ASSERT_EQ(bytes.size(), 5u) << text;
        EXPECT_EQ(bytes.front(), kStx);
        EXPECT_EQ(bytes[1], kRequestSource);
        EXPECT_EQ(bytes[3], FrameChecksum(bytes)) << text;
        EXPECT_EQ(bytes.back(), kEtx);
    }
}

TEST(ReadBlockFrameTest, ComposedTextAndBytes) {
    EXPECT_EQ(ReadBlockFrameText(0x0100), "02 70 02010000 40B303");
    EXPECT_EQ(FrameTextToBytes(ReadBlockFrameText(0x0100)),
              (FrameBytes{0x02, 0x70, 0x02, 0x01, 0x00, 0x00, 0x40, 0xB3, 0x03}));
    EXPECT_EQ(FrameTextToBytes(ReadBlockFrameText(0x0140)),
              (FrameBytes{0x02, 0x70, 0x02, 0x01, 0x40, 0x00, 0x40, 0xF3, 0x03}));
}

TEST(ReadBlockFrameTest, ChecksumHoldsForEveryBlock) {
    for (unsigned block = 0; block < 256; ++block) {
        const FrameBytes bytes = FrameTextToBytes(ReadBlockFrameText(BlockAddress(block)));
        ASSERT_EQ(bytes.size(), 9u);
        EXPECT_EQ(bytes[7], FrameChecksum(bytes)) << "block " << block;
    }
}

TEST(WriteBlockFrameTest, ZeroBlockFour) {
    const std::array<std::uint8_t, 64> zeros{};
    const FrameBytes bytes = FrameTextToBytes(WriteBlockFrameText(0x0100, zeros));
    ASSERT_EQ(bytes.size(), 73u);
    const FrameBytes head{0x02, 0x70, 0x01, 0x01, 0x00, 0x00, 0x40};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + 7, bytes.begin() + 71, [](auto b) { return b == 0; }));
    EXPECT_EQ(bytes[71], 0xB2);
    EXPECT_EQ(bytes[72], 0x03);
}

TEST(WriteBlockFrameTest, ConstantPartOfChecksumPerBlock) {
    const std::array<std::uint8_t, 64> zeros{};
    const std::pair<unsigned, std::uint8_t> expected[] = {
        {4, 0xB2}, {5, 0xF2}, {240, 0xED}, {241, 0x2D}};
    for (auto [block, cs] : expected) {
        const FrameBytes bytes = FrameTextToBytes(WriteBlockFrameText(BlockAddress(block), zeros));
        EXPECT_EQ(bytes[71], cs) << "block " << block;
    }
}

TEST(WriteBlockFrameTest, DataInOrderAndChecksumCarries) {
    std::array<std::uint8_t, 64> data{};
    std::iota(data.begin(), data.end(), std::uint8_t{0xC0});  // sum overflows many times
    const FrameBytes bytes = FrameTextToBytes(WriteBlockFrameText(0x3C40, data));
    ASSERT_EQ(bytes.size(), 73u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 7));
    EXPECT_EQ(bytes[71], FrameChecksum(bytes));
}

}  // namespace
}  // namespace sn
