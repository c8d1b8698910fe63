#pragma once
// Frame text: a command frame written as pairs of hexadecimal digits, such as
// "02 70 22 92 03". The workflow composes frames as text and the serial link
// turns the text into bytes only when it sends them.

#include <cstdint>
#include <string_view>
#include <vector>

namespace sn {

using FrameBytes = std::vector<std::uint8_t>;

// Value 0..15 of one hexadecimal digit; any other character counts as 0.
// Invalid characters are not reported: the frames are the program's own.
int HexDigitValue(char c);

// Removes every blank and every "\r\n" pair (nothing else), then turns each
// pair of digits into one byte; an odd last digit alone gives one more byte.
FrameBytes FrameTextToBytes(std::string_view text);

}  // namespace sn
