#pragma once
// Reply frames as the pager sends them (02 80 type ... checksum 03).

#include <cstdint>
#include <span>
#include <vector>

namespace sn::sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kReplyTypeMemoryData = 0x03;
inline constexpr std::uint8_t kReplyTypeAck = 0x06;
inline constexpr std::uint8_t kReplyTypeNak = 0x15;
// The pager answers the status query with short data of this type.
inline constexpr std::uint8_t kReplyTypeStatus = 0x93;

Bytes AckReply();
Bytes NakReply();
// 02 80 type LH LL data CS 03
Bytes ShortDataReply(std::uint8_t type, std::span<const std::uint8_t> data);
// 02 80 03 AH AL LH LL data CS 03
Bytes MemoryDataReply(std::uint16_t address, std::span<const std::uint8_t> data);

}  // namespace sn::sim
