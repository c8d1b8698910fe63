// CVexloView: construction, the form's handlers, and the monitor's outcomes
// on the form.

#include "workflow/vexlo_view.h"

#include <algorithm>

#include "workflow/key_filter.h"
#include "workflow/texts.h"

namespace sn {

CVexloView::CVexloView(FormView& form, CradleEngine& engine) : engine_(engine), form_(form) {
    engine_.SetObserver(this);
}

CVexloView::CVexloView(FormView& form, CommLink& link, PortSource& ports, WorkflowClock& clock,
                       PortSelection& selection)
    : ownEngine_(std::make_unique<CradleEngine>(link, ports, clock, selection)),
      engine_(*ownEngine_),
      form_(form) {
    engine_.SetObserver(this);
}

CVexloView::~CVexloView() {
    Shutdown();
    engine_.SetObserver(nullptr);
}

void CVexloView::OnInitialUpdate() {
    if (transactionRunning_.load()) {
        return;  // the worker owns serialBytes, the flags and the form
    }
    writeDone = 0;
    form_.EnableWriteButton(false);
    form_.ShowProgress(false);
    form_.SetStatusText(text::kCheckSerial);
    engine_.Selection().cradleMissing = 1;
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

// Ten characters that are no serial number (a paste can bring any) are as
// invalid as nine: nothing that is not one reaches a pager.
void CVexloView::OnSerialKillFocus() {
    // A running transaction owns serialBytes.
    if (hasSerial.load() != 0 || transactionRunning_.load()) {
        return;
    }
    const std::string text = form_.SerialText();
    const auto serial = Serial::Parse(text);
    if (!serial) {
        serialReady = 0;
        keepStatusOnce = 1;
        form_.SetStatusText(text.empty() ? text::kEnterSerial : text::kSerialInvalid);
        return;
    }
    serialReady = 1;
    const auto bytes = serial->Bytes();
    std::copy(bytes.begin(), bytes.end(), serialBytes.begin());
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

void CVexloView::CheckCradle() {
    Present(engine_.Tick());
}

void CVexloView::Present(const TickResult& tick) {
    lastOutcome_ = tick.outcome;
    if (tick.outcome != TickOutcome::ListError && tick.outcome != TickOutcome::None) {
        listErrorReported_ = 0;
    }
    if (tick.outcome != TickOutcome::ListError && tick.outcome != TickOutcome::NotConnected) {
        disconnectReported = 0;  // the cradle was found
    }
    switch (tick.outcome) {
        case TickOutcome::ListError:
            ListError(tick.listError);
            break;
        case TickOutcome::NotConnected:
            NotConnected();
            break;
        case TickOutcome::NoPager:
            NoPager();
            break;
        case TickOutcome::Ready:
            hasSerial = 0;
            Ready();
            break;
        case TickOutcome::AlreadyNumbered:
            AlreadyNumbered(hasSerial.exchange(kHasSerialBit));
            break;
        case TickOutcome::PortNotOpened:  // the link reported it
        case TickOutcome::None:
            break;
    }
}

// Reported once until a scan succeeds again; the monitor goes on.
void CVexloView::ListError(const std::string& message) {
    if (listErrorReported_.exchange(1) == 0) {
        form_.MessageBox(message, text::kCaption, BoxIcon::Stop);
    }
}

void CVexloView::NotConnected() {
    if (FormTakenByTransaction()) {
        return;
    }
    if (disconnectReported.exchange(1) == 0) {
        form_.SetStatusText(text::kNotConnected);
        form_.MessageBox(text::kBoxNotConnected, text::kCaption, BoxIcon::Stop);
    }
}

void CVexloView::NoPager() {
    writeDone = 0;
    if (FormTakenByTransaction()) {
        return;
    }
    form_.SetSerialText("");
    form_.SetStatusText(text::kSeatPager);
}

void CVexloView::Ready() {
    // Not the pager that was just written (that one says it is numbered).
    writeDone = 0;
    if (FormTakenByTransaction()) {
        return;
    }
    // A production run may have the next number ready for this pager.
    TransactionHooks* hooks = engine_.Hooks();
    const auto offered = hooks != nullptr ? hooks->SerialForReadyPager() : std::nullopt;
    form_.SetSerialText(offered ? offered->Text() : std::string());
    form_.SetStatusText(offered ? text::kClickWrite : text::kEnterSerial);
    form_.StopTimer();
    form_.EnableSerialEdit(true);
    form_.FocusSerialEdit();
    if (!form_.SerialText().empty()) {
        form_.EnableWriteButton(true);
    }
}

// The success text of a write stays while the status query goes on saying
// the pager is numbered; once it said otherwise (another pager), the pager
// numbered now is not the one written, and gets its own text.
void CVexloView::AlreadyNumbered(std::uint8_t hasSerialBefore) {
    if (hasSerialBefore == 0) {
        writeDone = 0;
    }
    if (!FormTakenByTransaction()) {
        form_.EnableSerialEdit(false);
        if (writeDone.load() == 0) {
            form_.SetStatusText(text::kAlreadyNumbered);
        }
    }
}

}  // namespace sn
