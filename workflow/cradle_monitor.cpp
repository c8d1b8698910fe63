// The cradle monitor: one look at the cradle and the pager.

#include <algorithm>

#include "ports/list_serial_ports.h"
#include "protocol/frames.h"
#include "workflow/cradle_engine.h"

namespace sn {

namespace {
constexpr auto kFramePause = std::chrono::milliseconds(20);
constexpr int kProbeAttempts = 10;
constexpr int kStatusAttempts = 5;
}  // namespace

bool CradleEngine::ListPorts(PortList& ports, TickResult& result) {
    try {
        ListSerialPorts(ports, 0, ports_, selection_);
        return true;
    } catch (const std::exception& e) {
        result = TickResult{TickOutcome::ListError, e.what()};
        return false;
    }
}

TickResult CradleEngine::Closed(TickOutcome outcome) {
    CloseIfOpen();
    return TickResult{outcome, {}};
}

TickResult CradleEngine::CheckCradle() {
    selection_.cradleMissing = 1;
    serialLink.RenewReplyEvent();
    PortList ports;
    TickResult result;
    if (!ListPorts(ports, result)) {
        return result;
    }
    if (selection_.cradleMissing.load() == 1) {
        const TickResult closed = Closed(TickOutcome::NotConnected);
        // When the cradle is back, a port that cannot be opened is news again.
        serialLink.RearmOpenReport();
        return closed;
    }
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
        return TickResult{TickOutcome::PortNotOpened, {}};
    }
    {
        std::lock_guard lock(stateMutex_);
        lastPortName_ = openName;
    }
    link_.linkActive = 1;
    link_.replyStatus = kReplyNone;
    const auto status = Probe() ? QueryStatus() : std::nullopt;
    if (!status) {
        return Closed(TickOutcome::NoPager);
    }
    if ((*status & kHasSerialBit) != 0) {
        return Closed(TickOutcome::AlreadyNumbered);
    }
    return TickResult{TickOutcome::Ready, {}};
}

// True with an acknowledge; false for a time-out or ten attempts without.
bool CradleEngine::Probe() {
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
std::optional<std::uint8_t> CradleEngine::QueryStatus() {
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

}  // namespace sn
