// The read transaction: the information area read, the model checked, the
// pager's own number respected; a step's failure and what it ends with.

#include <algorithm>
#include <span>

#include "protocol/frames.h"
#include "workflow/cradle_engine.h"

namespace sn {

bool CradleEngine::Step(StepResult result, Outcome failure, PagerError timedOut,
                        PagerError exhausted, TransactionRecord& record) {
    if (result == StepResult::Ok) {
        return true;
    }
    CloseIfOpen();
    record.outcome = failure;
    record.error = result == StepResult::Timeout ? timedOut : exhausted;
    observer_->OnFailure(record.error);
    return false;
}

bool CradleEngine::ReadBlock(unsigned block, int& retries, TransactionRecord& record) {
    const std::uint16_t address = BlockAddress(block);
    const std::span<std::uint8_t, kBlockSize> dest(pagerImage.data() + address, kBlockSize);
    if (!Step(exchange_.ReadBlock(block, retries, dest), Outcome::ReadError,
              PagerError::ReadTimedOut, PagerError::ReadBlock, record)) {
        return false;
    }
    observer_->OnProgress(static_cast<int>(block - kInfoFirstBlock) * 100);
    return true;
}

std::string CradleEngine::GetModelText() const {
    return ModelCodeOf(std::span(pagerImage).subspan(kInfoAreaStart, kInfoAreaSize));
}

bool CradleEngine::CheckModel(TransactionRecord& record) {
    const std::string model = GetModelText();
    // Compared as a C string: what follows a 0x00 byte takes no part.
    const std::string_view code(model.c_str());
    if (std::find(blockedModels.begin(), blockedModels.end(), code) == blockedModels.end()) {
        return false;
    }
    record.outcome = Outcome::ModelRefused;
    observer_->OnStage(Stage::ModelRefused);
    return true;
}

// A pager that already holds a serial number may have been seated after the
// monitor found this one ready (the monitor rests while the operator types):
// its number is never overwritten. Refused as a listed model is. A resume
// finishes the write that put exactly its number there.
bool CradleEngine::RefuseNumbered(TransactionRecord& record, bool resume) {
    if (pagerImage[kMarkByteAddress] != kMarkNumbered) {
        return false;
    }
    const auto serial = record.serial.Bytes();
    if (resume && std::equal(serial.begin(), serial.end(), pagerImage.begin() + kSerialAddress)) {
        return false;
    }
    record.outcome = Outcome::AlreadyNumbered;
    observer_->OnStage(Stage::AlreadyNumbered);
    return true;
}

void CradleEngine::ReadPagerInfo(TransactionRecord& record) {
    Pause(100);
    int retries = 0;
    for (unsigned block : {kInfoFirstBlock, kInfoFirstBlock + 1}) {
        if (!ReadBlock(block, retries, record)) {
            return;
        }
    }
    Pause(100);
    if (!Step(exchange_.FixedCommand(kReadFinishFrame), Outcome::ReadError,
              PagerError::ReadTimedOut, PagerError::ReadFinish, record)) {
        return;
    }
    observer_->OnProgress(0);
    readArea_ = InfoArea();
    // The model code is the pager's bytes: logged as text, never as control
    // characters a terminal or a spreadsheet would act on.
    record.model = readArea_->Model();
    record.serialBefore = readArea_->SerialBefore();
    if (CheckModel(record) || RefuseNumbered(record, record.resume)) {
        Pause(50);
        if (!Step(exchange_.FixedCommand(kClosingFrame), Outcome::ReadError,
                  PagerError::CloseTimedOut, PagerError::Close, record)) {
            return;
        }
    } else {
        WriteSerialNumber(record);
    }
    Pause(100);
    CloseIfOpen();
    observer_->OnStage(Stage::Finished);
}

}  // namespace sn
