// CVexloView: construction, the form's handlers, and who may run when.

#include "workflow/vexlo_view.h"

#include <algorithm>

#include "protocol/pager_memory.h"
#include "workflow/key_filter.h"
#include "workflow/texts.h"

namespace sn {

CVexloView::CVexloView(FormView& form, CommLink& link, PortSource& ports, WorkflowClock& clock,
                       PortSelection& selection)
    : serialLink(link),
      form_(form),
      ports_(ports),
      clock_(clock),
      selection_(selection),
      link_(link.State()),
      exchange_(link, clock, stopping_) {}

std::string CVexloView::LastPortName() const {
    std::lock_guard lock(portMutex_);
    return lastPortName_;
}

CVexloView::~CVexloView() {
    Shutdown();
}

void CVexloView::OnInitialUpdate() {
    if (transactionRunning_.load()) {
        return;  // the worker owns serialBytes, the flags and the form
    }
    writeDone = 0;
    form_.EnableWriteButton(false);
    form_.ShowProgress(false);
    form_.SetStatusText(text::kCheckSerial);
    selection_.cradleMissing = 1;
    form_.StartTimer(1000);
    serialBytes.fill(0);
    keepStatusOnce = 0;
    disconnectReported = 0;
}

bool CVexloView::PreTranslateKeyDown(int virtualKey) {
    const bool shift = form_.IsKeyDown(ModifierKey::Shift);
    const bool ctrl = form_.IsKeyDown(ModifierKey::Control);
    const bool alt = form_.IsKeyDown(ModifierKey::Alt);
    if (virtualKey == vk::kReturn && enterWrites_ && !ctrl && !alt &&
        form_.SerialText().size() == kSerialLength) {
        OnSerialKillFocus();
        OnWriteButton();
        return true;
    }
    switch (FilterSerialKey(virtualKey, shift, ctrl, alt)) {
        case KeyDecision::Pass:
            return false;
        case KeyDecision::Consume:
            return true;
        case KeyDecision::Copy:
            form_.CopySerialSelection();
            return true;
        case KeyDecision::Paste:
            form_.PasteIntoSerial();
            return true;
    }
    return false;
}

void CVexloView::OnSerialKillFocus() {
    // A running transaction owns pagerImage and serialBytes.
    if (hasSerial.load() != 0 || transactionRunning_.load()) {
        return;
    }
    const std::string serial = form_.SerialText();
    const std::size_t n = serial.size();
    if (n == 0 || n != kSerialLength) {
        // More than ten characters never reach here from the window (the
        // field holds ten); any other face gets the same refusal as for nine.
        serialReady = 0;
        keepStatusOnce = 1;
        form_.SetStatusText(n == 0 ? text::kEnterSerial : text::kSerialInvalid);
        return;
    }
    serialReady = 1;
    const std::string upper = UpperSerial(serial);
    std::copy(upper.begin(), upper.end(), pagerImage.begin() + kSerialAddress);
    std::copy(upper.begin(), upper.end(), serialBytes.begin());
}

void CVexloView::OnSerialChange() {
    if (transactionRunning_.load()) {
        return;  // the transaction's own texts stay
    }
    const std::size_t n = form_.SerialText().size();
    if (keepStatusOnce.load() == 0) {
        form_.SetStatusText(text::kEnterSerial);
    } else {
        keepStatusOnce = 0;
    }
    if (n > 0) {
        form_.EnableWriteButton(true);
        if (n == kSerialLength) {
            form_.SetStatusText(text::kClickWrite);
        }
    } else {
        form_.EnableWriteButton(false);
    }
}

void CVexloView::OnTimer(int timerId) {
    if (timerId != kTimerId || stopping_.load() || closing_.load()) {
        return;
    }
    {
        std::lock_guard lock(busyMutex_);
        if (tickRunning_ || transactionRunning_.load()) {
            return;
        }
        tickRunning_ = true;
    }
    CheckCradle();
    {
        std::lock_guard lock(busyMutex_);
        tickRunning_ = false;
    }
    busyCv_.notify_all();
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

void CVexloView::ShowStatus(const char* text) {
    if (!closing_.load()) {
        form_.SetStatusText(text);
    }
}

void CVexloView::Shutdown() {
    BeginClose();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) {
        worker_.join();  // the pager is finished and its row recorded first
    }
    stopping_ = true;
    clock_.Cancel();
    {
        std::unique_lock lock(busyMutex_);
        busyCv_.wait(lock, [this] { return !tickRunning_; });
    }
    CloseIfOpen();
}

void CVexloView::Pause(int ms) {
    clock_.Sleep(std::chrono::milliseconds(ms));
}

TransactionRecord CVexloView::LastTransaction() const {
    std::lock_guard lock(recordMutex_);
    return record_;
}

void CVexloView::BeginRecord() {
    TransactionRecord fresh;
    fresh.port = LastPortName();
    fresh.serialWritten.assign(serialBytes.begin(), serialBytes.end());
    std::lock_guard lock(recordMutex_);
    record_ = std::move(fresh);
}

void CVexloView::NoteEnd(TransactionEnd end, std::string boxTitle) {
    std::lock_guard lock(recordMutex_);
    record_.end = end;
    record_.boxTitle = std::move(boxTitle);
}

// The model and the number the pager held, as the read found them.
void CVexloView::NoteInfoArea() {
    std::string before;
    bool erased = true;
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        const std::uint8_t b = pagerImage[kSerialAddress + i];
        erased = erased && b == 0xFF;
        before.push_back(PrintableChar(b));
    }
    // The model code is the pager's bytes: shown and logged as text, never
    // as control characters a terminal or a spreadsheet would act on.
    const std::string model = PrintableText(GetModelText());
    std::lock_guard lock(recordMutex_);
    record_.model = model;
    record_.serialBefore = erased ? std::string() : before;
}

void CVexloView::CloseIfOpen() {
    if (serialLink.IsOpen() != 0) {
        serialLink.Close();
    }
}

}  // namespace sn
