#include "sim/reply_frames.h"

#include "protocol/checksum.h"
#include "protocol/frames.h"

namespace sn::sim {

namespace {

void PutU16(Bytes& out, std::size_t v) {
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// Appends checksum and ETX to a frame that holds STX through the last data byte.
Bytes Close(Bytes frame) {
    frame.push_back(SumChecksum(std::span(frame).subspan(1)));
    frame.push_back(kEtx);
    return frame;
}

}  // namespace

Bytes AckReply() {
    return Close({kStx, kReplySource, kReplyTypeAck});
}

Bytes NakReply() {
    return Close({kStx, kReplySource, kReplyTypeNak});
}

Bytes ShortDataReply(std::uint8_t type, std::span<const std::uint8_t> data) {
    Bytes frame{kStx, kReplySource, type};
    PutU16(frame, data.size());
    frame.insert(frame.end(), data.begin(), data.end());
    return Close(std::move(frame));
}

Bytes MemoryDataReply(std::uint16_t address, std::span<const std::uint8_t> data) {
    Bytes frame{kStx, kReplySource, kReplyTypeMemoryData};
    PutU16(frame, address);
    PutU16(frame, data.size());
    frame.insert(frame.end(), data.begin(), data.end());
    return Close(std::move(frame));
}

}  // namespace sn::sim
