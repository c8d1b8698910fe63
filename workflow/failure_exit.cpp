// The failure exit that ends both transactions.

#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn {

// Ends the transaction: the port closed, the box shown, the monitor back at
// one second. The status, button and progress bar stay as they are until the
// next tick. When the window closes, nobody is left to read a box.
void CVexloView::FailureExit(TransactionEnd end, const char* text) {
    CloseIfOpen();
    const std::string box(text);
    NoteEnd(end, box.substr(0, box.find(" \r\n")));
    if (stopping_.load() || closing_.load()) {
        return;  // the outcome goes to the ledger; nobody is left to read a box
    }
    form_.MessageBox(text, text::kCaption, BoxIcon::Stop);
    form_.StartTimer(1000);
}

bool CVexloView::Step(StepResult result, TransactionEnd failure, const char* timeoutText,
                      const char* exhaustedText) {
    if (result == StepResult::Ok) {
        return true;
    }
    FailureExit(failure, result == StepResult::Timeout ? timeoutText : exhaustedText);
    return false;
}

}  // namespace sn
