// The Write button and the read transaction on the worker thread.

#include <algorithm>
#include <span>

#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

void CVexloView::OnWriteButton() {
    if (serialReady.load() == 0) {
        return;
    }
    BeginTransaction();
}

void CVexloView::ResumeWrite(const std::string& serial) {
    if (transactionRunning_.load() || serial.size() != serialBytes.size()) {
        return;
    }
    std::copy(serial.begin(), serial.end(), serialBytes.begin());
    std::copy(serial.begin(), serial.end(), pagerImage.begin() + kSerialAddress);
    resumeSerial_ = serial;
    if (!BeginTransaction()) {
        resumeSerial_.clear();
    }
}

bool CVexloView::BeginTransaction() {
    bool tickStillRunning = false;
    {
        std::lock_guard lock(busyMutex_);
        if (transactionRunning_.load() || stopping_.load() || closing_.load()) {
            return false;  // one transaction at a time
        }
        transactionRunning_ = true;
        tickStillRunning = tickRunning_;
    }
    serialReady = 0;
    form_.StopTimer();
    // A tick still under way leaves the form alone from now on; the
    // transaction's first texts follow once it has ended, so they are the
    // ones that stay.
    startShown_ = !tickStillRunning;
    if (startShown_) {
        ShowTransactionStart();
    }
    StartWorker();
    return true;
}

void CVexloView::ShowTransactionStart() {
    ShowStatus(text::kGathering);
    form_.EnableWriteButton(false);
    form_.ShowProgress(true);
    form_.SetProgress(0);
}

void CVexloView::RestoreAfterRefusal() {
    form_.ShowProgress(false);
    if (!closing_.load()) {
        form_.SetStatusText(text::kClickWrite);
        form_.EnableWriteButton(true);
        serialReady = 1;
    }
}

void CVexloView::StartWorker() {
    if (worker_.joinable()) {
        worker_.join();  // the previous transaction has ended already
    }
    worker_ = std::thread(WorkerThreadProc, this);
}

void CVexloView::WorkerThreadProc(CVexloView* view) {
    {
        // A tick that was already running when the button was pressed
        // finishes with the link first.
        std::unique_lock lock(view->busyMutex_);
        view->busyCv_.wait(lock, [view] { return !view->tickRunning_; });
    }
    if (!view->startShown_) {
        view->ShowTransactionStart();
    }
    view->BeginRecord();
    // The ledger reserves the number before anything goes to the pager.
    if (view->hooks_ != nullptr && !view->hooks_->BeforeFirstFrame(view->LastTransaction())) {
        view->NoteEnd(TransactionEnd::Refused);
        view->RestoreAfterRefusal();
    } else {
        if (!view->resumeSerial_.empty() && view->serialLink.IsOpen() == 0) {
            OpenCradlePort(view->serialLink, view->LastPortName());
        }
        view->ReadPagerInfo();
        if (view->hooks_ != nullptr) {
            view->hooks_->TransactionEnded(view->LastTransaction());
        }
    }
    view->resumeSerial_.clear();
    {
        std::lock_guard lock(view->busyMutex_);
        view->transactionRunning_ = false;
    }
    view->busyCv_.notify_all();
}

// A pager that already holds a serial number may have been seated after the
// monitor found this one ready (the monitor rests while the operator types):
// its number is never overwritten. Refused as a listed model is.
int CVexloView::RefuseNumbered() {
    if (pagerImage[kMarkByteAddress] != kMarkNumbered) {
        return 0;
    }
    // A resume finishes the write that put exactly this number there.
    if (!resumeSerial_.empty() && std::equal(resumeSerial_.begin(), resumeSerial_.end(),
                                             pagerImage.begin() + kSerialAddress)) {
        return 0;
    }
    NoteEnd(TransactionEnd::AlreadyNumbered);
    hasSerial = kHasSerialBit;
    form_.EnableSerialEdit(false);
    form_.EnableWriteButton(false);
    form_.ShowProgress(false);
    ShowStatus(text::kAlreadyNumbered);
    return 1;
}

bool CVexloView::ReadBlock(unsigned block, int& retries) {
    const std::uint16_t address = BlockAddress(block);
    const std::span<std::uint8_t, kBlockSize> dest(pagerImage.data() + address, kBlockSize);
    if (!Step(exchange_.ReadBlock(block, retries, dest), TransactionEnd::ReadError,
              text::kReadError5Read, text::kReadError2)) {
        return false;
    }
    form_.SetProgress(static_cast<int>(block - kInfoFirstBlock) * 100);
    return true;
}

void CVexloView::ReadPagerInfo() {
    Pause(100);
    int retries = 0;
    for (unsigned block : {kInfoFirstBlock, kInfoFirstBlock + 1}) {
        if (!ReadBlock(block, retries)) {
            return;
        }
    }
    Pause(100);
    if (!Step(exchange_.FixedCommand(kReadFinishFrame), TransactionEnd::ReadError,
              text::kReadError5Read, text::kReadError3)) {
        return;
    }
    form_.SetProgress(0);
    NoteInfoArea();
    if (CheckModel() != 0 || RefuseNumbered() != 0) {
        Pause(50);
        if (!Step(exchange_.FixedCommand(kClosingFrame), TransactionEnd::ReadError,
                  text::kReadError5Write, text::kReadError4)) {
            return;
        }
    } else {
        WriteSerialNumber();
    }
    Pause(100);
    CloseIfOpen();
    if (!stopping_.load() && !closing_.load()) {
        form_.StartTimer(2000);
    }
}

}  // namespace sn
