#include "protocol/hex_text.h"

#include <string>

namespace sn {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

namespace {

// Blanks go first, then "\r\n" pairs in one left-to-right pass. A lone "\r" or
// "\n" stays and converts like any other non-digit (to 0).
std::string StripSeparators(std::string_view text) {
    std::string noBlanks;
    noBlanks.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            noBlanks.push_back(c);
        }
    }
    std::string out;
    out.reserve(noBlanks.size());
    for (std::size_t i = 0; i < noBlanks.size(); ++i) {
        if (noBlanks[i] == '\r' && i + 1 < noBlanks.size() && noBlanks[i + 1] == '\n') {
            ++i;
            continue;
        }
        out.push_back(noBlanks[i]);
    }
    return out;
}

}  // namespace

FrameBytes FrameTextToBytes(std::string_view text) {
    const std::string digits = StripSeparators(text);
    FrameBytes bytes;
    bytes.reserve((digits.size() + 1) / 2);
    std::size_t i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(HexDigitValue(digits[i]) * 16 +
                                                  HexDigitValue(digits[i + 1])));
    }
    if (i < digits.size()) {
        bytes.push_back(static_cast<std::uint8_t>(HexDigitValue(digits[i])));
    }
    return bytes;
}

}  // namespace sn
