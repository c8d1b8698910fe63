#include "protocol/reply_decoder.h"

#include <algorithm>
#include <cstring>

#include "protocol/frames.h"

namespace sn {

namespace {

constexpr std::uint8_t kTypeMemoryData = 0x03;
constexpr std::uint8_t kTypeAck = 0x06;
constexpr std::uint8_t kTypeNak = 0x15;

void Store(LinkState& s, std::uint8_t b) {
    s.frameBuf[s.frameIndex] = b;
    s.frameIndex = static_cast<std::uint8_t>(s.frameIndex + 1);
}

// A frame ends, complete or not: the waiter for the request it answers may
// judge the attempt once this receive burst is over.
void NoteFrameEnded(LinkState& s) {
    s.endedSeq = s.frameSeq;
    s.frameEndedInBurst = true;
}

void Discard(LinkState& s) {
    s.decodeState = 0;
    s.frameIndex = 0;
    NoteFrameEnded(s);
}

void SetOutcome(LinkState& s, std::uint8_t outcome) {
    s.statusSeq.store(s.frameSeq);
    s.replyStatus.store(outcome);
}

// Sum of frameBuf[1 .. frameIndex - 2]: the 0x80 byte through the byte before
// the checksum, which has just been stored at frameIndex - 1.
bool ChecksumMatches(const LinkState& s) {
    const int last = static_cast<int>(s.frameIndex) - 2;
    unsigned sum = 0;
    for (int i = 1; i <= last; ++i) {
        sum += s.frameBuf[static_cast<std::size_t>(i)];
    }
    const int csPos = static_cast<int>(s.frameIndex) - 1;
    const std::uint8_t cs = csPos >= 0 ? s.frameBuf[static_cast<std::size_t>(csPos)] : 0;
    return static_cast<std::uint8_t>(sum & 0xFFu) == cs;
}

void CompleteReply(LinkState& s) {
    const std::uint8_t type = s.frameBuf[2];
    if (type == kTypeAck) {
        SetOutcome(s, kReplyAck);
        return;
    }
    if (type != kTypeMemoryData && !IsShortDataReplyType(type)) {
        return;  // negative acknowledge: no outcome
    }
    if (s.dataLength > kMaxReplyDataLength) {
        return;  // would not fit replyBuf: refused like a damaged frame
    }
    if (s.dataLength > 0) {
        std::memcpy(s.replyBuf.data(), s.frameBuf.data() + 3, s.dataLength + 4u);
    }
    SetOutcome(s, kReplyData);
}

void OnTypeByte(LinkState& s, std::uint8_t b) {
    if (b == kTypeMemoryData) {
        Store(s, b);
        s.dataCount = 0;
        s.decodeState = 3;
    } else if (b == kTypeAck || b == kTypeNak) {
        Store(s, b);
        s.dataLength = 0;
        s.dataCount = 0;
        s.decodeState = 8;
    } else if (IsShortDataReplyType(b)) {
        Store(s, b);
        s.dataCount = 0;
        s.decodeState = 5;
    } else {
        Discard(s);
    }
}

void OnDataByte(LinkState& s, std::uint8_t b) {
    Store(s, b);
    s.dataCount = static_cast<std::uint8_t>(s.dataCount + 1);
    // Checked after counting, so a declared length of 0 still takes one byte.
    if (s.dataCount >= s.dataLength) {
        s.dataCount = 0;
        s.decodeState = 8;
    }
}

void OnChecksumByte(LinkState& s, std::uint8_t b) {
    Store(s, b);
    if (ChecksumMatches(s)) {
        s.decodeState = 9;
    } else {
        Discard(s);
        s.dataLength = 0;
    }
}

void OnEndByte(LinkState& s, std::uint8_t b) {
    if (b != kEtx) {
        Discard(s);
        return;
    }
    // The end byte is kept too, so that a short data reply's copy ends "CS 03".
    Store(s, b);
    CompleteReply(s);
    NoteFrameEnded(s);
    s.frameIndex = 0;
    s.decodeState = 0;
}

}  // namespace

bool IsShortDataReplyType(std::uint8_t type) {
    switch (type) {
        case 0x71:
        case 0x75:
        case 0x77:
        case 0x79:
        case 0x7B:
        case 0x7D:
        case 0x93:
        case 0xA3:
            return true;
        default:
            return false;
    }
}

void DecodeReplyByte(LinkState& s) {
    if (s.chunkReadPos < 0 || s.chunkReadPos >= static_cast<std::int32_t>(kChunkSize)) {
        return;
    }
    const std::uint8_t b = s.chunkBuf[static_cast<std::size_t>(s.chunkReadPos)];
    ++s.chunkReadPos;
    // frameIndex is one byte: were it to wrap, the tail of a long frame would
    // land on its start and could pass for an acknowledge.
    if (s.decodeState != 0 && s.frameIndex == kMaxFrameBytes) {
        Discard(s);
        return;
    }
    switch (s.decodeState) {
        case 0:
            s.frameIndex = 0;
            if (b == kStx) {
                Store(s, b);
                s.frameSeq = s.txSeq.load();
                s.decodeState = 1;
            }
            break;
        case 1:
            if (b == kReplySource) {
                Store(s, b);
                s.decodeState = 2;
            } else {
                Discard(s);
            }
            break;
        case 2:
            OnTypeByte(s, b);
            break;
        case 3:  // address high, memory data replies only
        case 4:  // address low
        case 5:  // length high: only the low byte counts
            Store(s, b);
            ++s.decodeState;
            break;
        case 6:
            Store(s, b);
            s.dataLength = b;
            s.decodeState = 7;
            break;
        case 7:
            OnDataByte(s, b);
            break;
        case 8:
            OnChecksumByte(s, b);
            break;
        case 9:
            OnEndByte(s, b);
            break;
        default:
            Discard(s);
            break;
    }
}

void DecodeBytes(LinkState& s, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kChunkSize);
        s.chunkReadPos = 0;
        s.chunkWritePos = 0;
        for (std::size_t i = 0; i < n; ++i) {
            s.chunkBuf[static_cast<std::size_t>(s.chunkWritePos++)] = bytes[i];
            while (s.chunkReadPos != s.chunkWritePos) {
                DecodeReplyByte(s);
            }
        }
        bytes = bytes.subspan(n);
    }
}

}  // namespace sn
