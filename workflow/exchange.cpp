// The exchange and the failure exit that every step of both transactions uses.

#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

namespace {
constexpr auto kReplyWait = std::chrono::milliseconds(3000);
constexpr int kFixedCommandAttempts = 5;
}  // namespace

// Send, pause, wait. The wait ends at the first receive burst, which may be
// one from before the frame was sent: the attempt is judged on replyStatus as
// it is then, and a stale or split reply simply fails the attempt.
CVexloView::Outcome CVexloView::Exchange(const std::string& frame, std::chrono::milliseconds pause,
                                         std::uint8_t expected) {
    if (stopping_.load()) {
        return Outcome::Timeout;
    }
    serialLink.SendCommand(frame);
    clock_.Sleep(pause);
    if (!clock_.WaitReply(link_.replyEvent, kReplyWait)) {
        return Outcome::Timeout;
    }
    if (link_.replyStatus.load() != expected) {
        return Outcome::Failed;
    }
    link_.replyStatus = kReplyNone;
    return Outcome::Success;
}

// Ends the transaction: the port closed, the box shown, the monitor back at
// one second. The status, button and progress bar stay as they are until the
// next tick. When shutting down, nobody is left to read a box.
void CVexloView::FailureExit(const char* text) {
    CloseIfOpen();
    if (stopping_.load()) {
        return;
    }
    form_.MessageBox(text, text::kCaption, BoxIcon::Stop);
    form_.StartTimer(1000);
}

// Up to five attempts of a fixed command that the pager acknowledges.
bool CVexloView::FixedCommand(std::string_view frame, const char* timeoutText,
                              const char* failText) {
    for (int attempt = 0; attempt < kFixedCommandAttempts; ++attempt) {
        switch (Exchange(std::string(frame), std::chrono::milliseconds(20), kReplyAck)) {
            case Outcome::Success:
                return true;
            case Outcome::Timeout:
                FailureExit(timeoutText);
                return false;
            case Outcome::Failed:
                Pause(20);
                break;
        }
    }
    FailureExit(failText);
    return false;
}

}  // namespace sn
