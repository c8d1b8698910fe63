#pragma once
// The line's settings, and the cradle's: 57,600 bps, 8 data bits, no parity,
// two stop bits.

#include <cstdint>

namespace sn {

// As the tool passes them: data bits as a count, stop bits and parity as
// codes (stop bits 0 = one, 1 = one and a half, 2 = two; parity 0 = none,
// 1 = odd, 2 = even, 3 = mark, 4 = space).
struct LineSettings {
    std::uint32_t baud = 57600;
    std::uint8_t dataBits = 8;
    std::uint8_t stopBits = 2;
    std::uint8_t parity = 0;
};

inline constexpr LineSettings kCradleLine{57600, 8, 2, 0};

}  // namespace sn
