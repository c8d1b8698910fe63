#pragma once
// Request frames as text. The fixed frames carry their checksum in the text;
// the block frames are composed from pieces with a checksum computed here.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sn {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kRequestSource = 0x70;  // PC to pager
inline constexpr std::uint8_t kReplySource = 0x80;    // pager to PC

// Command bytes.
inline constexpr std::uint8_t kCmdWriteBlock = 0x01;
inline constexpr std::uint8_t kCmdReadBlock = 0x02;
inline constexpr std::uint8_t kCmdWriteStart = 0x20;
inline constexpr std::uint8_t kCmdWriteFinish = 0x21;
inline constexpr std::uint8_t kCmdPresenceProbe = 0x22;
inline constexpr std::uint8_t kCmdReadFinish = 0x23;
inline constexpr std::uint8_t kCmdClosing = 0x72;
inline constexpr std::uint8_t kCmdStatusQuery = 0x92;

// The fixed frames, exactly as the workflow hands them to the sender.
inline constexpr std::string_view kPresenceProbeFrame = "02 70 22 92 03";
inline constexpr std::string_view kStatusQueryFrame = "02 70 92 02 03";
inline constexpr std::string_view kReadFinishFrame = "02 70 23 93 03";
inline constexpr std::string_view kWriteStartFrame = "02 70 20 90 03";
inline constexpr std::string_view kWriteFinishFrame = "02 70 21 91 03";
inline constexpr std::string_view kClosingFrame = "02 70 72 E2 03";

// Every block frame asks for or carries 64 bytes.
inline constexpr std::uint16_t kBlockLength = 0x0040;

// "02 70 02" + "%04X" address + "00 40" + "%02X" checksum + "03".
std::string ReadBlockFrameText(std::uint16_t address);

// "02 70 01" + "%04X" address + "00 40" + 64 x "%02X" data + "%02X" checksum + "03".
// `data` must hold exactly 64 bytes.
std::string WriteBlockFrameText(std::uint16_t address, std::span<const std::uint8_t, 64> data);

}  // namespace sn
