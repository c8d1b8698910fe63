#include "sim/delivery.h"

#include <charconv>

namespace sn::sim {

namespace {

// A positive decimal number that is all of `text`.
std::optional<long> Number(std::string_view text, long max) {
    long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > max) {
        return std::nullopt;
    }
    return v;
}

}  // namespace

std::optional<Delivery> ParseDelivery(std::string_view text) {
    if (text == "whole") {
        return kWholeReplies;
    }
    constexpr std::string_view kPieces = "pieces";
    if (text.substr(0, kPieces.size()) != kPieces) {
        return std::nullopt;
    }
    text.remove_prefix(kPieces.size());
    Delivery d;
    if (text.empty()) {
        return d;
    }
    if (text.front() != ':') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const std::size_t colon = text.find(':');
    const auto n = Number(text.substr(0, colon), 4096);
    if (!n) {
        return std::nullopt;
    }
    d.pieceBytes = static_cast<std::size_t>(*n);
    if (colon != std::string_view::npos) {
        const auto us = Number(text.substr(colon + 1), 1'000'000);
        if (!us) {
            return std::nullopt;
        }
        d.interval = std::chrono::microseconds(*us);
    }
    return d;
}

std::string DeliveryName(const Delivery& delivery) {
    if (delivery.Whole()) {
        return "whole";
    }
    return "pieces:" + std::to_string(delivery.pieceBytes) + ":" +
           std::to_string(delivery.interval.count());
}

}  // namespace sn::sim
