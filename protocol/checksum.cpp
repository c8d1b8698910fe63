#include "protocol/checksum.h"

namespace sn {

std::uint8_t SumChecksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3) {
        return 0;
    }
    return SumChecksum(frame.subspan(1, frame.size() - 3));
}

}  // namespace sn
