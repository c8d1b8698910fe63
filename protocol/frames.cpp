#include "protocol/frames.h"

#include <array>
#include <cstdio>

#include "protocol/checksum.h"

namespace sn {

namespace {

std::string Hex4(unsigned value) {
    std::array<char, 8> buf{};
    std::snprintf(buf.data(), buf.size(), "%04X", value & 0xFFFFu);
    return buf.data();
}

std::string Hex2(unsigned value) {
    std::array<char, 4> buf{};
    std::snprintf(buf.data(), buf.size(), "%02X", value & 0xFFu);
    return buf.data();
}

std::uint8_t High(std::uint16_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Low(std::uint16_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace

std::string ReadBlockFrameText(std::uint16_t address) {
    const std::array<std::uint8_t, 6> summed{kRequestSource, kCmdReadBlock,      High(address),
                                             Low(address),   High(kBlockLength), Low(kBlockLength)};
    return "02 70 02" + Hex4(address) + "00 40" + Hex2(SumChecksum(summed)) + "03";
}

std::string WriteBlockFrameText(std::uint16_t address, std::span<const std::uint8_t, 64> data) {
    const std::array<std::uint8_t, 6> header{kRequestSource, kCmdWriteBlock,     High(address),
                                             Low(address),   High(kBlockLength), Low(kBlockLength)};
    const unsigned sum = SumChecksum(header) + SumChecksum(data);
    std::string text = "02 70 01" + Hex4(address) + "00 40";
    text.reserve(text.size() + 2 * data.size() + 4);
    for (std::uint8_t b : data) {
        text += Hex2(b);
    }
    return text + Hex2(sum) + "03";
}

}  // namespace sn
