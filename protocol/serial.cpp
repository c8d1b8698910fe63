#include "protocol/serial.h"

#include <cstdio>

namespace sn {

namespace {

// A serial number's characters as 6-bit codes: 1-10 digits, 11-36 letters
// (either case), 37 '*'; 0 for any other byte.
struct SerialCodes {
    std::array<std::uint8_t, 256> code{};
    constexpr SerialCodes() {
        for (int c = '0'; c <= '9'; ++c) {
            code[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(1 + c - '0');
        }
        for (int c = 'A'; c <= 'Z'; ++c) {
            code[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(11 + c - 'A');
            code[static_cast<std::size_t>(c - 'A' + 'a')] = static_cast<std::uint8_t>(11 + c - 'A');
        }
        code['*'] = 37;
    }
};
constexpr SerialCodes kCodes;
constexpr char kChars[] = "?0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ*";

std::uint8_t CodeOf(char c) {
    return kCodes.code[static_cast<unsigned char>(c)];
}

}  // namespace

bool Serial::IsCharacter(char c) {
    return CodeOf(c) != 0;
}

std::optional<std::uint64_t> Serial::KeyOf(std::string_view text) {
    if (text.size() != kLength) {
        return std::nullopt;
    }
    std::uint64_t key = 0;
    for (char c : text) {
        const std::uint8_t code = CodeOf(c);
        if (code == 0) {
            return std::nullopt;
        }
        key = (key << 6) | code;
    }
    return key;
}

std::optional<Serial> Serial::FromKey(std::uint64_t key) {
    std::string text(kLength, '?');
    for (std::size_t i = kLength; i > 0; --i, key >>= 6) {
        const std::size_t code = key & 63;
        if (code == 0 || code >= sizeof kChars - 1) {
            return std::nullopt;
        }
        text[i - 1] = kChars[code];
    }
    if (key != 0) {
        return std::nullopt;
    }
    return Serial(std::move(text));
}

std::optional<Serial> Serial::Parse(std::string_view text) {
    const auto key = KeyOf(text);
    return key ? FromKey(*key) : std::nullopt;
}

std::string Serial::Problem(std::string_view text) {
    const std::string rule = "must be exactly 10 characters, only letters, digits and '*'";
    if (text.size() != kLength) {
        return rule + " (got " + std::to_string(text.size()) + ")";
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsCharacter(text[i])) {
            continue;
        }
        // A control character is never echoed to the terminal that typed it.
        char shown[16];
        std::snprintf(shown, sizeof shown, byte >= 0x20 && byte < 0x7F ? "'%c'" : "byte 0x%02X",
                      byte);
        return rule + " (position " + std::to_string(i + 1) + " holds " + shown + ")";
    }
    return "";
}

std::array<std::uint8_t, Serial::kLength> Serial::Bytes() const {
    std::array<std::uint8_t, kLength> bytes{};
    for (std::size_t i = 0; i < kLength; ++i) {
        bytes[i] = static_cast<std::uint8_t>(text_[i]);
    }
    return bytes;
}

}  // namespace sn
