// Ctrl+C on Windows: a console control handler. It runs on a thread of its
// own that the console starts; returning TRUE keeps the process alive, for
// the first Ctrl+C and for every one after it (std::signal's handler would be
// reset to the default after the first, and the second would kill the
// program in the middle of a write).

#include <windows.h>

#include "cli/interrupt.h"

namespace sn::cli {

namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return NoteConsoleEvent(event) ? TRUE : FALSE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    ClearInterrupt();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

}  // namespace sn::cli
