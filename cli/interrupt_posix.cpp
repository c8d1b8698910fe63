// Ctrl+C on POSIX: SIGINT with sigaction, which keeps the handler installed
// for every further signal.

#include <signal.h>

#include "cli/interrupt.h"

namespace sn::cli {

namespace {

struct sigaction previous {};

extern "C" void OnSigint(int) {
    NoteConsoleEvent(0);
}

}  // namespace

InterruptGuard::InterruptGuard() {
    ClearInterrupt();
    struct sigaction action {};
    action.sa_handler = OnSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previous);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previous, nullptr);
}

}  // namespace sn::cli
