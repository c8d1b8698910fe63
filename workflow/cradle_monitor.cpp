// The cradle monitor: one tick of timer 0.

#include <algorithm>

#include "ports/list_serial_ports.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

namespace {
constexpr auto kFramePause = std::chrono::milliseconds(20);
constexpr int kProbeAttempts = 10;
constexpr int kStatusAttempts = 5;
}  // namespace

bool CVexloView::ListPorts(PortList& ports) {
    try {
        ListSerialPorts(ports, 0, ports_, selection_);
        listErrorReported_ = 0;
        return true;
    } catch (const std::exception& e) {
        // Reported once until a scan succeeds again; the monitor goes on.
        lastOutcome_ = TickOutcome::ListError;
        if (listErrorReported_.exchange(1) == 0) {
            form_.MessageBox(e.what(), text::kCaption, BoxIcon::Stop);
        }
        return false;
    }
}

void CVexloView::CheckCradle() {
    selection_.cradleMissing = 1;
    serialLink.RenewReplyEvent();
    PortList ports;
    if (!ListPorts(ports)) {
        return;
    }
    if (selection_.cradleMissing.load() == 1) {
        NotConnected();
        return;
    }
    disconnectReported = 0;
    std::string name = selection_.chosenPortName.get();
    if (selection_.autoSelect.load() != 0) {
        name = ports.empty() ? std::string() : ports.front().portName;
    }
    // A listed port is opened by its path; a chosen name no longer listed
    // (the dialog's choice of a port since gone) is opened as it is.
    const auto listed = std::find_if(ports.begin(), ports.end(),
                                     [&](const SSerInfo& p) { return p.portName == name; });
    const std::string openName = listed != ports.end() ? listed->devicePath : name;
    // An open link (a pager still waiting for its number when a dialog
    // restarted the timer) stays open: the link keeps the port of the same
    // device, so the pager is simply asked again.
    if (OpenCradlePort(serialLink, openName) == 0) {
        lastOutcome_ = TickOutcome::PortNotOpened;
        return;
    }
    {
        std::lock_guard lock(portMutex_);
        lastPortName_ = openName;
    }
    link_.linkActive = 1;
    link_.replyStatus = kReplyNone;
    if (!Probe()) {
        NoPager();
        return;
    }
    const auto status = QueryStatus();
    if (!status) {
        NoPager();
        return;
    }
    const std::uint8_t before =
        hasSerial.exchange(static_cast<std::uint8_t>(*status & kHasSerialBit));
    if (hasSerial.load() == 0) {
        Ready();
    } else {
        AlreadyNumbered(before);
    }
}

// True with an acknowledge; false for a time-out or ten attempts without.
bool CVexloView::Probe() {
    for (int i = 0; i < kProbeAttempts; ++i) {
        switch (exchange_.Exchange(std::string(kPresenceProbeFrame), kFramePause, kReplyAck)) {
            case PagerExchange::Outcome::Success:
                return true;
            case PagerExchange::Outcome::Timeout:
                return false;  // a time-out is never retried
            case PagerExchange::Outcome::Failed:
                break;
        }
        if (i == 4) {
            Pause(800);
        } else if (i == kProbeAttempts - 1) {
            return false;
        } else {
            Pause(20);
        }
    }
    return false;
}

// The first data byte of the status reply, or nothing.
std::optional<std::uint8_t> CVexloView::QueryStatus() {
    for (int j = 0; j < kStatusAttempts; ++j) {
        switch (exchange_.Exchange(std::string(kStatusQueryFrame), kFramePause, kReplyData)) {
            case PagerExchange::Outcome::Success:
                return link_.replyBuf[2];
            case PagerExchange::Outcome::Timeout:
                return std::nullopt;
            case PagerExchange::Outcome::Failed:
                break;
        }
        Pause(20);
    }
    return std::nullopt;
}

void CVexloView::NotConnected() {
    lastOutcome_ = TickOutcome::NotConnected;
    CloseIfOpen();
    // When the cradle is back, a port that cannot be opened is news again.
    serialLink.RearmOpenReport();
    if (FormTakenByTransaction()) {
        return;
    }
    if (disconnectReported.exchange(1) == 0) {
        form_.SetStatusText(text::kNotConnected);
        form_.MessageBox(text::kBoxNotConnected, text::kCaption, BoxIcon::Stop);
    }
}

void CVexloView::NoPager() {
    lastOutcome_ = TickOutcome::NoPager;
    CloseIfOpen();
    writeDone = 0;
    if (FormTakenByTransaction()) {
        return;
    }
    form_.SetSerialText("");
    form_.SetStatusText(text::kSeatPager);
}

void CVexloView::Ready() {
    lastOutcome_ = TickOutcome::Ready;
    // Not the pager that was just written (that one says it is numbered).
    writeDone = 0;
    if (FormTakenByTransaction()) {
        return;
    }
    // A production run may have the next number ready for this pager.
    const std::string offered = hooks_ != nullptr ? hooks_->SerialForReadyPager() : std::string();
    form_.SetSerialText(offered);
    form_.SetStatusText(offered.size() == kSerialLength ? text::kClickWrite : text::kEnterSerial);
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
    lastOutcome_ = TickOutcome::AlreadyNumbered;
    if (hasSerialBefore == 0) {
        writeDone = 0;
    }
    if (!FormTakenByTransaction()) {
        form_.EnableSerialEdit(false);
        if (writeDone.load() == 0) {
            form_.SetStatusText(text::kAlreadyNumbered);
        }
    }
    CloseIfOpen();
}

}  // namespace sn
