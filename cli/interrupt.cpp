#include <atomic>

#include "cli/interrupt.h"

namespace sn::cli {

namespace {
std::atomic<bool> requested{false};
}  // namespace

bool InterruptRequested() {
    return requested.load();
}

void ClearInterrupt() {
    requested = false;
}

bool NoteConsoleEvent(unsigned long event) {
    if (event > 1) {
        return false;  // closing the console, logging off: the OS's to handle
    }
    requested = true;
    return true;
}

}  // namespace sn::cli
