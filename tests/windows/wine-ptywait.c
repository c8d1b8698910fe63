/* wine-ptywait: a preload for the Wine tests only, never shipped. It makes
 * Wine's serial wait (WaitCommEvent) block on a pseudo-terminal as it does
 * on a UART, so that sntool.exe waits on a pty the way it waits on a real
 * COM port.
 *
 * Wine's wait for a comm event runs a loop on a thread of its own: sleep
 * 1 ms, read the modem lines (TIOCMGET), look at the input queue (TIOCINQ),
 * read the wait mask again. A pty has no modem lines: TIOCMGET fails, and
 * Wine gives the wait up, so a pending WaitCommEvent fails about every 2 ms
 * and every wait costs a thread start. Here, when TIOCMGET fails for want of
 * modem lines, the call waits for input (at most kIdleMs, so that a changed
 * wait mask, SetCommMask(0) ending the wait, is still seen) and then reports
 * the lines up. Bytes end the wait at once; an idle port wakes kIdleMs apart.
 *
 * Build: cc -O2 -shared -fPIC -o wine-ptywait.so wine-ptywait.c -ldl
 * Use:   start the wineserver first without it (a server started by a
 *        preloaded process would carry it), then
 *        LD_PRELOAD=/path/wine-ptywait.so wine program.exe
 */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/ioctl.h>

enum { kIdleMs = 50 };

typedef int (*IoctlFn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
    static IoctlFn real;
    if (real == 0) {
        real = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
    }
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const int rc = real(fd, request, arg);
    if (request != TIOCMGET || rc == 0 || (errno != ENOTTY && errno != EINVAL) || arg == 0) {
        return rc;
    }
    struct pollfd input = {fd, POLLIN, 0};
    poll(&input, 1, kIdleMs);
    *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    return 0;
}
