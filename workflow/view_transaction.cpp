// CVexloView: the Write button, the transaction on the worker thread, and
// the engine's stages, progress and failures on the form.

#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

// The number taken when the field was left: none after Ctrl+N emptied it.
void CVexloView::OnWriteButton() {
    const auto serial = Serial::Parse(
        std::string_view(reinterpret_cast<const char*>(serialBytes.data()), serialBytes.size()));
    if (serialReady.load() == 0 || !serial) {
        return;
    }
    BeginTransaction(*serial);
}

bool CVexloView::BeginTransaction(const Serial& serial) {
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
    StartWorker(serial);
    return true;
}

void CVexloView::ShowTransactionStart() {
    ShowStatus(text::kGathering);
    form_.EnableWriteButton(false);
    form_.ShowProgress(true);
    form_.SetProgress(0);
}

void CVexloView::StartWorker(const Serial& serial) {
    if (worker_.joinable()) {
        worker_.join();  // the previous transaction has ended already
    }
    worker_ = std::thread([this, serial] { RunTransaction(serial); });
}

void CVexloView::RunTransaction(const Serial& serial) {
    {
        // A tick that was already running when the button was pressed
        // finishes with the link first.
        std::unique_lock lock(busyMutex_);
        busyCv_.wait(lock, [this] { return !tickRunning_; });
    }
    const PagerResult result = engine_.Write(serial);
    if (result.outcome == Outcome::Refused) {
        RestoreAfterRefusal(*result.refusal);
    }
    {
        std::lock_guard lock(busyMutex_);
        transactionRunning_ = false;
    }
    busyCv_.notify_all();
}

void CVexloView::RestoreAfterRefusal(const Refusal& refusal) {
    form_.MessageBox(refusal.message, text::kCaption, BoxIcon::Stop);
    form_.ShowProgress(false);
    if (!closing_.load()) {
        form_.SetStatusText(text::kClickWrite);
        form_.EnableWriteButton(true);
        serialReady = 1;
    }
}

void CVexloView::ShowStatus(const char* text) {
    if (!closing_.load()) {
        form_.SetStatusText(text);
    }
}

void CVexloView::StartTimerUnlessClosing(int periodMs) {
    if (!stopping_.load() && !closing_.load()) {
        form_.StartTimer(periodMs);
    }
}

void CVexloView::OnStage(Stage stage) {
    switch (stage) {
        case Stage::Gathering:
            if (!startShown_) {
                ShowTransactionStart();
            }
            break;
        case Stage::Writing:
            ShowStatus(text::kWriting);
            break;
        case Stage::AlreadyNumbered:
        case Stage::ModelRefused:
            if (stage == Stage::AlreadyNumbered) {
                hasSerial = kHasSerialBit;
            }
            form_.EnableSerialEdit(false);
            form_.EnableWriteButton(false);
            form_.ShowProgress(false);
            ShowStatus(StageText(stage));
            break;
        case Stage::Completed:
            ShowStatus(text::kCompleted);
            // The pager now holds its number: the monitor keeps this text
            // while the status query goes on saying so.
            hasSerial = kHasSerialBit;
            writeDone = 1;
            form_.EnableWriteButton(false);
            form_.ShowProgress(false);
            if (!closing_.load()) {
                form_.StartTimer(2000);
            }
            break;
        case Stage::Finished:
            StartTimerUnlessClosing(2000);
            break;
    }
}

void CVexloView::OnProgress(int percent) {
    form_.SetProgress(percent);
}

// The port is closed already; the monitor comes back at one second. The
// status, button and progress bar stay as they are until the next tick.
// When the window closes, nobody is left to read a box.
void CVexloView::OnFailure(PagerError error) {
    if (stopping_.load() || closing_.load()) {
        return;
    }
    form_.MessageBox(BoxText(error), text::kCaption, BoxIcon::Stop);
    form_.StartTimer(1000);
}

void CVexloView::WaitForTransaction() {
    std::unique_lock lock(busyMutex_);
    busyCv_.wait(lock, [this] { return !transactionRunning_.load(); });
}

void CVexloView::BeginClose() {
    if (closing_.exchange(true)) {
        return;
    }
    if (transactionRunning_.load()) {
        form_.SetStatusText(text::kClosingAfterPager);
    }
}

void CVexloView::Shutdown() {
    BeginClose();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) {
        worker_.join();  // the pager is finished and its row recorded first
    }
    stopping_ = true;
    // A tick still running stops at its current pause or wait.
    engine_.Shutdown();
    std::unique_lock lock(busyMutex_);
    busyCv_.wait(lock, [this] { return !tickRunning_; });
}

}  // namespace sn
