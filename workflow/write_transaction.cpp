// The model check and the write transaction.

#include <algorithm>
#include <span>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

namespace {
constexpr std::uint8_t kErased = 0xFF;
constexpr unsigned kLastBlock = 241;
}  // namespace

std::string CVexloView::GetModelText() const {
    return ModelCodeOf(std::span(pagerImage).subspan(kInfoAreaStart, kInfoAreaSize));
}

int CVexloView::CheckModel() {
    const std::string model = GetModelText();
    // Compared as a C string: what follows a 0x00 byte takes no part.
    const std::string_view code(model.c_str());
    if (std::find(blockedModels.begin(), blockedModels.end(), code) == blockedModels.end()) {
        return 0;
    }
    NoteEnd(TransactionEnd::ModelRefused);
    form_.EnableSerialEdit(false);
    form_.EnableWriteButton(false);
    form_.ShowProgress(false);
    ShowStatus(text::kModelRefused);
    return 1;
}

void CVexloView::PrepareInfoArea() {
    std::copy(serialBytes.begin(), serialBytes.end(), pagerImage.begin() + kSerialAddress);
    pagerImage[kMarkByteAddress] = kMarkNumbered;
    pagerImage[kInfoChecksumAddress] = SumChecksum(
        std::span(pagerImage).subspan(kInfoAreaStart, kInfoChecksumAddress - kInfoAreaStart));
    std::copy_n(pagerImage.begin() + kInfoAreaStart, kInfoAreaSize,
                pagerImage.begin() + kMirrorAreaStart);
}

bool CVexloView::WriteBlock(unsigned block) {
    {
        // From this frame on the pager may hold the number: it is used.
        std::lock_guard lock(recordMutex_);
        record_.blockWriteSent = true;
    }
    const std::uint16_t address = BlockAddress(block);
    const std::span<const std::uint8_t, kBlockSize> data(pagerImage.data() + address, kBlockSize);
    if (!Step(exchange_.WriteBlock(block, data), TransactionEnd::WriteError, text::kWriteError5,
              text::kWriteError2)) {
        return false;
    }
    const int steps = static_cast<int>(kLastBlock - kInfoFirstBlock);
    form_.SetProgress(static_cast<int>(block - kInfoFirstBlock) * 100 / steps);
    return true;
}

void CVexloView::WriteSerialNumber() {
    ShowStatus(text::kWriting);
    PrepareInfoArea();
    if (!Step(exchange_.FixedCommand(kWriteStartFrame), TransactionEnd::WriteError,
              text::kWriteError5, text::kWriteError1)) {
        return;
    }
    Pause(100);
    for (unsigned block :
         {kInfoFirstBlock, kInfoFirstBlock + 1, kMirrorFirstBlock, kMirrorFirstBlock + 1}) {
        if (!WriteBlock(block)) {
            return;
        }
    }
    Pause(100);
    if (!Step(exchange_.FixedCommand(kWriteFinishFrame), TransactionEnd::WriteError,
              text::kWriteError5, text::kWriteError3)) {
        return;
    }
    Pause(100);
    if (!Step(exchange_.FixedCommand(kClosingFrame), TransactionEnd::WriteError, text::kWriteError5,
              text::kWriteError4)) {
        return;
    }
    Pause(100);
    NoteEnd(TransactionEnd::Written);
    ShowStatus(text::kCompleted);
    // The pager now holds its number: the monitor keeps this text while the
    // status query goes on saying so.
    hasSerial = kHasSerialBit;
    writeDone = 1;
    CloseIfOpen();
    form_.EnableWriteButton(false);
    form_.ShowProgress(false);
    if (!closing_.load()) {
        form_.StartTimer(2000);
    }
}

}  // namespace sn
