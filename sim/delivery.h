#pragma once
// How a cradle hands the pager's replies to the host. A CP210x bridge passes
// received bytes on in small USB transfers about a millisecond apart (at
// 57,600 bps 8N2 a little over five bytes a millisecond), so the host sees a
// reply as several pieces, never in one read. The substitute pager delivers
// the same way unless a test asks for whole replies.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sn::sim {

struct Delivery {
    // Bytes per piece; 0 hands each reply over in one piece.
    std::size_t pieceBytes = 6;
    // Time from one piece to the next, the wire time of its bytes included.
    std::chrono::microseconds interval{1040};

    bool Whole() const { return pieceBytes == 0; }
};

inline constexpr Delivery kWholeReplies{0, std::chrono::microseconds{0}};

// "whole", or "pieces[:N[:US]]" (N bytes every US microseconds; the defaults
// for what is left out). Nothing for anything else.
std::optional<Delivery> ParseDelivery(std::string_view text);
std::string DeliveryName(const Delivery& delivery);

}  // namespace sn::sim
