#include "protocol/request_decoder.h"

#include <gtest/gtest.h>

#include <array>

#include "protocol/frames.h"
#include "protocol/hex_text.h"

namespace sn {
namespace {

std::vector<Request> DecodeAll(RequestDecoder& d, const FrameBytes& bytes) {
    std::vector<Request> out;
    for (auto b : bytes) {
        if (auto r = d.Feed(b)) {
            out.push_back(*r);
        }
    }
    return out;
}

TEST(RequestDecoderTest, ReadsBackEveryFrameTheToolSends) {
    std::array<std::uint8_t, 64> data{};
    data[0] = 0x02;  // frame bytes inside the data must not confuse it
    data[63] = 0x03;
    FrameBytes stream;
    for (std::string_view t : {kPresenceProbeFrame, kStatusQueryFrame, kReadFinishFrame,
                               kWriteStartFrame, kWriteFinishFrame, kClosingFrame}) {
        const auto b = FrameTextToBytes(t);
        stream.insert(stream.end(), b.begin(), b.end());
    }
    for (const auto& t : {ReadBlockFrameText(0x0140), WriteBlockFrameText(0x3C00, data)}) {
        const auto b = FrameTextToBytes(t);
        stream.insert(stream.end(), b.begin(), b.end());
    }
    RequestDecoder d;
    const auto reqs = DecodeAll(d, stream);
    ASSERT_EQ(reqs.size(), 8u);
    const std::uint8_t commands[] = {0x22, 0x92, 0x23, 0x20, 0x21, 0x72, 0x02, 0x01};
    for (std::size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i].command, commands[i]);
        EXPECT_TRUE(reqs[i].checksumOk);
    }
    EXPECT_EQ(reqs[6].Address(), 0x0140);
    EXPECT_EQ(reqs[6].Length(), 0x40);
    EXPECT_EQ(reqs[7].Address(), 0x3C00);
    EXPECT_EQ(reqs[7].Data(), std::vector<std::uint8_t>(data.begin(), data.end()));
    EXPECT_EQ(reqs[7].raw.size(), 73u);
}

TEST(RequestDecoderTest, BadChecksumIsReportedAndNoEtxIsDropped) {
    RequestDecoder d;
    auto reqs = DecodeAll(d, {0x02, 0x70, 0x22, 0x93, 0x03});
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_FALSE(reqs[0].checksumOk);
    EXPECT_TRUE(DecodeAll(d, {0x02, 0x70, 0x22, 0x92, 0x04}).empty());
    EXPECT_EQ(DecodeAll(d, {0x55, 0x02, 0x02, 0x70, 0x22, 0x92, 0x03}).size(), 1u);
}

}  // namespace
}  // namespace sn
