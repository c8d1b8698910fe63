#include "sim/substitute_pager.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "protocol/reply_decoder.h"
#include "sim/reply_frames.h"

namespace sn::sim {

namespace {

constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint8_t kMarkNumbered = 0x01;
constexpr std::uint8_t kMarkBlank = 0x00;
constexpr std::uint8_t kHasSerialBit = 0x40;

// Bytes a real device would not put in front of a frame but a noisy line might.
constexpr std::uint8_t kNoise[] = {0x00, 0xFF, 0x80, 0x03, 0x15};

// A data reply's length field (its low byte) says two bytes more than the
// reply holds; everything else stays as it was. Replies without one pass.
void DamageLength(std::vector<std::uint8_t>& reply) {
    if (reply.size() < 5) {
        return;
    }
    const std::uint8_t type = reply[2];
    const std::size_t at = type == kReplyTypeMemoryData ? 6 : 4;
    if ((type == kReplyTypeMemoryData || IsShortDataReplyType(type)) && at < reply.size()) {
        reply[at] = static_cast<std::uint8_t>(reply[at] + 2);
    }
}

}  // namespace

SubstitutePager::SubstitutePager() : memory_(kMemorySize, kErased) {
    InitMemory();
}

void SubstitutePager::InitMemory() {
    std::fill(memory_.begin(), memory_.end(), kErased);
    // Fill the information area with settings-like bytes that vary, so that a
    // block landing in the wrong place is seen; then the fields the tool knows.
    for (std::size_t i = 0; i < kInfoAreaSize; ++i) {
        memory_[kInfoAreaStart + i] = static_cast<std::uint8_t>((i * 37 + 11) & 0x7F);
    }
    std::fill_n(memory_.begin() + kSerialAddress, kSerialLength, kErased);
    std::fill_n(memory_.begin() + kModelCodeAddress, kModelCodeMaxLength, kErased);
    std::copy(kDefaultModel.begin(), kDefaultModel.end(), memory_.begin() + kModelCodeAddress);
    memory_[kMarkByteAddress] = kMarkBlank;
    finishedNumbered_ = false;
    RefreshInfoAreaLocked();
}

void SubstitutePager::Reset() {
    std::lock_guard lock(mutex_);
    InitMemory();
    statusOverride_.reset();
    seated_ = true;
    faults_.Clear();
    decoder_.Reset();
}

void SubstitutePager::RefreshInfoAreaLocked() {
    const auto begin = memory_.begin() + kInfoAreaStart;
    memory_[kInfoChecksumAddress] =
        SumChecksum(std::span(&*begin, kInfoChecksumAddress - kInfoAreaStart));
    std::copy_n(begin, kInfoAreaSize, memory_.begin() + kMirrorAreaStart);
}

void SubstitutePager::RefreshInfoArea() {
    std::lock_guard lock(mutex_);
    RefreshInfoAreaLocked();
}

void SubstitutePager::SetModelCode(std::string_view code) {
    std::lock_guard lock(mutex_);
    const auto field = memory_.begin() + kModelCodeAddress;
    std::fill_n(field, kModelCodeMaxLength, kErased);
    std::copy_n(code.begin(), std::min(code.size(), kModelCodeMaxLength), field);
    RefreshInfoAreaLocked();
}

std::string SubstitutePager::ModelCode() const {
    std::lock_guard lock(mutex_);
    return ModelCodeOf(std::span(memory_).subspan(kInfoAreaStart, kInfoAreaSize));
}

void SubstitutePager::SetNumbered(bool numbered) {
    std::lock_guard lock(mutex_);
    const auto serial = memory_.begin() + kSerialAddress;
    if (numbered) {
        std::copy(kSerialWhenNumbered.begin(), kSerialWhenNumbered.end(), serial);
    } else {
        std::fill_n(serial, kSerialLength, kErased);
    }
    memory_[kMarkByteAddress] = numbered ? kMarkNumbered : kMarkBlank;
    finishedNumbered_ = numbered;
    RefreshInfoAreaLocked();
}

bool SubstitutePager::IsNumbered() const {
    std::lock_guard lock(mutex_);
    return memory_[kMarkByteAddress] == kMarkNumbered;
}

void SubstitutePager::SetSerialBit(SerialBit mode) {
    std::lock_guard lock(mutex_);
    serialBit_ = mode;
}

void SubstitutePager::SetStatusByteOverride(std::optional<std::uint8_t> value) {
    std::lock_guard lock(mutex_);
    statusOverride_ = value;
}

void SubstitutePager::SetSeated(bool seated) {
    std::lock_guard lock(mutex_);
    seated_ = seated;
    decoder_.Reset();
}

bool SubstitutePager::IsSeated() const {
    std::lock_guard lock(mutex_);
    return seated_;
}

bool SubstitutePager::InRange(std::size_t address, std::size_t length) const {
    return address <= memory_.size() && length <= memory_.size() - address;
}

std::vector<std::uint8_t> SubstitutePager::ReadMemory(std::uint16_t address,
                                                      std::size_t length) const {
    std::lock_guard lock(mutex_);
    if (!InRange(address, length)) {
        return {};
    }
    return {memory_.begin() + address, memory_.begin() + address + length};
}

void SubstitutePager::WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    if (InRange(address, bytes.size())) {
        std::copy(bytes.begin(), bytes.end(), memory_.begin() + address);
    }
}

void SubstitutePager::ScriptFaults(std::uint8_t command, std::vector<Fault> attempts) {
    std::lock_guard lock(mutex_);
    faults_.Script(command, std::move(attempts));
}

void SubstitutePager::SetStandingFault(std::uint8_t command, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.SetStanding(command, fault);
}

void SubstitutePager::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.Clear();
}

void SubstitutePager::SetSplitGap(std::chrono::milliseconds gap) {
    std::lock_guard lock(mutex_);
    splitGap_ = gap;
}

std::vector<std::uint8_t> SubstitutePager::ReadBlockReply(const Request& req, Fault fault) const {
    std::uint16_t address = req.Address();
    const std::size_t length = req.Length();
    if (fault == Fault::WrongAddress) {
        address = static_cast<std::uint16_t>(address ^ kBlockSize);
    }
    if (req.params.size() != 4 || length > 0xFF || !InRange(address, length)) {
        return NakReply();
    }
    const std::span data(memory_.data() + address, length);
    return MemoryDataReply(address, data);
}

std::vector<std::uint8_t> SubstitutePager::WriteBlockReply(const Request& req, Fault fault) {
    const auto data = req.Data();
    if (data.size() != req.Length() || !InRange(req.Address(), data.size())) {
        return NakReply();
    }
    if (fault != Fault::AckWithoutStore) {
        std::copy(data.begin(), data.end(), memory_.begin() + req.Address());
    }
    return AckReply();
}

std::vector<std::uint8_t> SubstitutePager::NormalReply(const Request& req, Fault fault) {
    if (!req.checksumOk) {
        return NakReply();
    }
    switch (req.command) {
        case kCmdPresenceProbe:
        case kCmdReadFinish:
        case kCmdWriteStart:
        case kCmdClosing:
            return AckReply();
        case kCmdWriteFinish:
            // A NAK'd or unheard write-finish never gets here: the pager did
            // not take it, so a write broken off before it stays unfinished.
            finishedNumbered_ = finishedNumbered_ || memory_[kMarkByteAddress] == kMarkNumbered;
            return AckReply();
        case kCmdStatusQuery: {
            const bool numbered = serialBit_ == SerialBit::OnWriteFinish
                                      ? finishedNumbered_
                                      : memory_[kMarkByteAddress] == kMarkNumbered;
            const std::uint8_t status =
                statusOverride_.value_or(numbered ? kHasSerialBit : std::uint8_t{0});
            return ShortDataReply(kReplyTypeStatus, std::span(&status, 1));
        }
        case kCmdReadBlock:
            return ReadBlockReply(req, fault);
        case kCmdWriteBlock:
            return WriteBlockReply(req, fault);
        default:
            return NakReply();
    }
}

std::vector<ReplyBurst> SubstitutePager::Answer(const Request& req, Fault fault) {
    if (fault == Fault::Silence) {
        return {};
    }
    if (fault == Fault::Nak) {
        return {ReplyBurst{NakReply(), {}}};
    }
    std::vector<std::uint8_t> reply = NormalReply(req, fault);
    switch (fault) {
        case Fault::BadChecksum:
            reply[reply.size() - 2] = static_cast<std::uint8_t>(reply[reply.size() - 2] + 1);
            break;
        case Fault::Noise:
            reply.insert(reply.begin(), std::begin(kNoise), std::end(kNoise));
            break;
        case Fault::BadLength:
            DamageLength(reply);
            break;
        case Fault::Split: {
            const auto half = reply.begin() + static_cast<std::ptrdiff_t>(reply.size() / 2);
            return {ReplyBurst{{reply.begin(), half}, {}},
                    ReplyBurst{{half, reply.end()}, splitGap_}};
        }
        default:
            break;
    }
    return {ReplyBurst{std::move(reply), {}}};
}

std::vector<ReplyBurst> SubstitutePager::Receive(std::span<const std::uint8_t> bytes,
                                                 std::chrono::nanoseconds now) {
    std::lock_guard lock(mutex_);
    std::vector<ReplyBurst> out;
    if (!seated_) {
        return out;
    }
    for (std::uint8_t b : bytes) {
        std::optional<Request> req = decoder_.Feed(b);
        if (!req) {
            continue;
        }
        const Fault fault = faults_.Next(req->command);
        auto bursts = Answer(*req, fault);
        if (!bursts.empty()) {
            bursts.front().requestSize = req->raw.size();
        }
        log_.push_back(LoggedRequest{now, std::move(*req), fault});
        std::move(bursts.begin(), bursts.end(), std::back_inserter(out));
    }
    return out;
}

std::vector<LoggedRequest> SubstitutePager::Log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::size_t SubstitutePager::RequestCount(std::uint8_t command) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(log_.begin(), log_.end(),
                      [command](const auto& e) { return e.request.command == command; }));
}

void SubstitutePager::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

}  // namespace sn::sim
