// Frame text to bytes: any text converts, to exactly the bytes that a plain
// reading of the rule gives, and the bytes written back as text convert to
// themselves.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "protocol/hex_text.h"

namespace {

using sn::fuzz::Require;

// Blanks out, then "\r\n" pairs out; each remaining character is a digit
// whose value is 0 unless it is a hex digit; digits pair up from the start.
sn::FrameBytes Reference(std::string_view text) {
    std::string kept;
    for (char c : text) {
        if (c != ' ') {
            kept += c;
        }
    }
    std::string digits;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept.compare(i, 2, "\r\n") == 0) {
            ++i;
        } else {
            digits += kept[i];
        }
    }
    sn::FrameBytes out;
    const auto value = [](char c) {
        const std::size_t at = std::string_view("0123456789ABCDEF0123456789abcdef").find(c);
        return at == std::string_view::npos || c == '\0' ? 0u : static_cast<unsigned>(at % 16);
    };
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const bool pair = i + 1 < digits.size();
        const unsigned v = pair ? value(digits[i]) * 16 + value(digits[i + 1]) : value(digits[i]);
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sn::FrameBytes bytes = sn::FrameTextToBytes(text);
    Require(bytes.size() <= (size + 1) / 2);
    Require(bytes == Reference(text));
    std::string again;
    for (std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        again += hex;
    }
    Require(sn::FrameTextToBytes(again) == bytes);
    return 0;
}
