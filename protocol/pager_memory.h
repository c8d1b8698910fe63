#pragma once
// Pager memory as the tool uses it. Memory is addressed in blocks of 64 bytes;
// block n starts at n * 64. Addresses and lengths travel high byte first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sn {

inline constexpr std::size_t kBlockSize = 64;
inline constexpr std::uint16_t BlockAddress(unsigned block) {
    return static_cast<std::uint16_t>(block * kBlockSize);
}

// Information area (blocks 4 and 5) and its mirror copy (blocks 240 and 241).
inline constexpr unsigned kInfoFirstBlock = 4;
inline constexpr unsigned kMirrorFirstBlock = 240;
inline constexpr std::uint16_t kInfoAreaStart = 0x0100;
inline constexpr std::uint16_t kMirrorAreaStart = 0x3C00;
inline constexpr std::size_t kInfoAreaSize = 0x80;

inline constexpr std::uint16_t kSerialAddress = 0x0110;  // 10 characters
inline constexpr std::size_t kSerialLength = 10;
inline constexpr std::uint16_t kModelCodeAddress = 0x012A;  // text ended by 0xFF
inline constexpr std::size_t kModelCodeMaxLength = 16;
inline constexpr std::uint16_t kMarkByteAddress = 0x013F;      // 0x01 once numbered
inline constexpr std::uint16_t kInfoChecksumAddress = 0x015F;  // sum of 0x0100-0x015E

// The model code in an information area (`area` begins at kInfoAreaStart):
// its bytes up to the first erased one, sixteen at the most.
std::string ModelCodeOf(std::span<const std::uint8_t> area);
// A pager's byte as text: printable ASCII as it is, anything else as '.', so
// that no control character reaches a terminal, a log or a spreadsheet.
char PrintableChar(std::uint8_t byte);
std::string PrintableText(std::string_view bytes);

}  // namespace sn
