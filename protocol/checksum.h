#pragma once
// The one checksum rule of the pager protocol, for both directions: the low
// 8 bits of the sum of every byte from the 0x70 / 0x80 byte up to the byte
// just before the checksum. STX, the checksum itself and ETX are not summed.

#include <cstddef>
#include <cstdint>
#include <span>

namespace sn {

// Sum modulo 256 of the given bytes; the caller passes exactly the summed span.
std::uint8_t SumChecksum(std::span<const std::uint8_t> bytes);

// Checksum of a whole frame (STX ... CS ETX) as it should be: the sum of
// frame[1] up to frame[size - 3]. Frames shorter than 3 bytes sum nothing.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame);

}  // namespace sn
