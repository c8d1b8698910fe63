#pragma once
// Ctrl+C for sntool: noted, never acted on by the OS, however often it
// comes, so that a write under way always finishes and records its row. The
// command decides what a noted Ctrl+C ends. One implementation per OS: a
// signal handler on POSIX, a console control handler on Windows (whose C
// runtime would put the default handler back after the first signal).
//
// Threads: see docs/threads.md (sntool).

namespace sn::cli {

// Installs the handler for its lifetime; the previous one is put back after.
class InterruptGuard {
  public:
    InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    ~InterruptGuard();
};

bool InterruptRequested();
void ClearInterrupt();

// What the OS's handler does with one event: Ctrl+C and Ctrl+Break (0 and 1,
// as Windows numbers them) are noted and handled; anything else is left to
// the OS. For the tests of the handler's logic.
bool NoteConsoleEvent(unsigned long event);

}  // namespace sn::cli
