// The write transaction, and the read back of the area and its mirror.

#include <algorithm>
#include <array>
#include <span>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "workflow/cradle_engine.h"
#include "workflow/pager_reader.h"

namespace sn {

namespace {
constexpr unsigned kLastBlock = 241;
constexpr std::array<unsigned, 4> kAreaBlocks = {4, 5, 240, 241};
}  // namespace

void CradleEngine::PrepareInfoArea(const Serial& serial) {
    const auto bytes = serial.Bytes();
    std::copy(bytes.begin(), bytes.end(), pagerImage.begin() + kSerialAddress);
    pagerImage[kMarkByteAddress] = kMarkNumbered;
    pagerImage[kInfoChecksumAddress] = SumChecksum(
        std::span(pagerImage).subspan(kInfoAreaStart, kInfoChecksumAddress - kInfoAreaStart));
    std::copy_n(pagerImage.begin() + kInfoAreaStart, kInfoAreaSize,
                pagerImage.begin() + kMirrorAreaStart);
}

bool CradleEngine::WriteBlock(unsigned block, TransactionRecord& record) {
    // From this frame on the pager may hold the number: it is used.
    record.blockWriteSent = true;
    const std::uint16_t address = BlockAddress(block);
    const std::span<const std::uint8_t, kBlockSize> data(pagerImage.data() + address, kBlockSize);
    if (!Step(exchange_.WriteBlock(block, data), Outcome::WriteError, PagerError::WriteTimedOut,
              PagerError::WriteBlock, record)) {
        return false;
    }
    const int steps = static_cast<int>(kLastBlock - kInfoFirstBlock);
    observer_->OnProgress(static_cast<int>(block - kInfoFirstBlock) * 100 / steps);
    return true;
}

void CradleEngine::WriteSerialNumber(TransactionRecord& record) {
    const auto fixed = [&](std::string_view frame, PagerError exhausted) {
        return Step(exchange_.FixedCommand(frame), Outcome::WriteError, PagerError::WriteTimedOut,
                    exhausted, record);
    };
    observer_->OnStage(Stage::Writing);
    PrepareInfoArea(record.serial);
    if (!fixed(kWriteStartFrame, PagerError::WriteStart)) {
        return;
    }
    Pause(100);
    for (unsigned block :
         {kInfoFirstBlock, kInfoFirstBlock + 1, kMirrorFirstBlock, kMirrorFirstBlock + 1}) {
        if (!WriteBlock(block, record)) {
            return;
        }
    }
    Pause(100);
    if (!fixed(kWriteFinishFrame, PagerError::WriteFinish)) {
        return;
    }
    Pause(100);
    if (!fixed(kClosingFrame, PagerError::WriteClose)) {
        return;
    }
    Pause(100);
    record.outcome = Outcome::Written;
    CloseIfOpen();
    observer_->OnStage(Stage::Completed);
}

// The blocks 4, 5, 240 and 241 as the information area is read, on the port
// the monitor last used: 100 ms, the block reads with one budget, 100 ms,
// read finish; then, as after a refused model, 50 ms and the closing
// command. The link is closed afterwards.
PagerResult CradleEngine::ReadAreaAndMirror() {
    PagerResult result;
    link_.replyStatus = kReplyNone;
    serialLink.RenewReplyEvent();
    if (!OpenLastPort()) {
        result.outcome = Outcome::ReadError;
        result.error = PagerError::PortNotOpened;
        return result;
    }
    const BlockReadResult read = ReadPagerBlocks(
        exchange_, kAreaBlocks, [this](int percent) { observer_->OnProgress(percent); });
    CloseIfOpen();
    if (read.error != PagerError::None) {
        result.outcome = Outcome::ReadError;
        result.error = read.error;
        return result;
    }
    PagerArea area;
    area.mirror.emplace();
    std::copy_n(read.bytes.begin(), kInfoAreaSize, area.info.begin());
    std::copy_n(read.bytes.begin() + kInfoAreaSize, kInfoAreaSize, area.mirror->begin());
    result.outcome = Outcome::Read;
    result.area = area;
    return result;
}

std::optional<Mismatch> CradleEngine::FirstMismatch(const PagerArea& back) const {
    for (const std::uint16_t start : {kInfoAreaStart, kMirrorAreaStart}) {
        for (std::size_t i = 0; i < kInfoAreaSize; ++i) {
            const auto at = static_cast<std::uint16_t>(start + i);
            if (back.At(at) != pagerImage[at]) {
                return Mismatch{at, pagerImage[at], back.At(at)};
            }
        }
    }
    return std::nullopt;
}

// The written pager read back; its settlement waits for the result.
void CradleEngine::VerifyWritten(TransactionRecord& record, PagerResult& result) {
    const PagerResult back = ReadAreaAndMirror();
    if (back.outcome != Outcome::Read) {
        record.outcome = Outcome::WrittenUnverified;
        record.error = back.error;
        return;
    }
    result.mismatch = FirstMismatch(*back.area);
    record.outcome = result.mismatch ? Outcome::VerifyMismatch : Outcome::Verified;
}

}  // namespace sn
