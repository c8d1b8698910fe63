// SerialPort on Win32 COM ports: overlapped I/O throughout. The watch
// thread's wait is WaitCommEvent on EV_RXCHAR, woken by SetCommMask(0).

#include <windows.h>

#include <atomic>

#include "ports/win_device_name.h"
#include "serial/serial_port.h"
#include "serial/win_handle.h"

namespace sn {

namespace {

constexpr DWORD kQueueSize = 10600;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A failed wait rests this long before the next one. Wine's waits on a pty
// fail every ~2 ms; bytes that arrive meanwhile are seen by the next wait at
// once, so the rest costs latency only, never data.
constexpr DWORD kFailedWaitRestMs = 20;
// How long a read or write may stay pending beyond its own time-out before it
// is cancelled (a driver that never completes must not hang the link).
constexpr DWORD kStuckIoMs = 1000;

// What a wait or an I/O call returns once the device has gone (a USB bridge
// pulled out): the handle is dead for good.
bool IsDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

class WinSerialPort final : public SerialPort {
  public:
    ~WinSerialPort() override { Close(); }

    bool Open(const std::string& device) override {
        Close();
        if (!readEvent_.Reset(NewEvent()) || !writeEvent_.Reset(NewEvent())) {
            return Fail(GetLastError());
        }
        port_.Reset(CreateFileA(WinDeviceName(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
        if (!port_) {
            const DWORD e = GetLastError();
            Close();
            return Fail(e);
        }
        // The results of these are not examined: the line settings decide.
        SetCommMask(port_.get(), EV_RXCHAR);
        SetupComm(port_.get(), kQueueSize, kQueueSize);
        // Wait resources; PrepareWait reports their lack.
        waitEvent_.Reset(NewEvent());
        cancelEvent_.Reset(NewEvent());
        cancelled_ = false;
        hungUp_ = false;
        waitPending_ = false;
        return true;
    }

    bool Configure(const LineSettings& s) override {
        if (!port_ || s.baud == 0) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        // Reads return at once with what has arrived; writes may take 2 ms a
        // byte at 57,600 bps.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutMultiplier = 115200 / s.baud;
        SetCommTimeouts(port_.get(), &timeouts);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port_.get(), &dcb)) {
            return Fail(GetLastError());
        }
        dcb.BaudRate = s.baud;
        dcb.ByteSize = s.dataBits;
        dcb.Parity = s.parity;
        dcb.StopBits = s.stopBits;
        // Settings another program may have left would change the pager's
        // bytes: XON/XOFF eats every 0x11 and 0x13 of its data and
        // checksums, fNull drops every 0x00 (a block read is full of them),
        // fErrorChar replaces a byte received with a parity error. All go
        // off; hardware flow control and the rest stay as the driver has them.
        dcb.fBinary = TRUE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        if (!SetCommState(port_.get(), &dcb)) {
            return Fail(GetLastError());
        }
        return true;
    }

    void Purge() override {
        if (port_) {
            PurgeComm(port_.get(), kPurgeAll);
        }
    }

    std::size_t BytesWaiting() override {
        COMSTAT status{};
        DWORD errors = 0;
        if (!port_ || !ClearCommError(port_.get(), &errors, &status)) {
            return 0;
        }
        return status.cbInQue;
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
        // A read of an empty port may stay pending under Wine despite the
        // time-outs: ask for no more than the driver holds.
        const std::size_t waiting = BytesWaiting();
        const DWORD want = static_cast<DWORD>(waiting < capacity ? waiting : capacity);
        if (want == 0) {
            return 0;
        }
        OVERLAPPED ov{};
        ov.hEvent = readEvent_.get();
        DWORD got = 0;
        if (ReadFile(port_.get(), buffer, want, &got, &ov)) {
            return got;
        }
        return Finish(ov, GetLastError(), kStuckIoMs);
    }

    std::size_t Write(const std::uint8_t* bytes, std::size_t count,
                      std::chrono::milliseconds timeout) override {
        if (!port_ || count == 0) {
            return 0;
        }
        OVERLAPPED ov{};
        ov.hEvent = writeEvent_.get();
        DWORD done = 0;
        if (WriteFile(port_.get(), bytes, static_cast<DWORD>(count), &done, &ov)) {
            return done;
        }
        return Finish(ov, GetLastError(), static_cast<DWORD>(timeout.count()) + kStuckIoMs);
    }

    bool PrepareWait() override {
        if (!port_ || !waitEvent_ || !cancelEvent_) {
            return Fail(waitEvent_ && cancelEvent_ ? ERROR_INVALID_HANDLE : GetLastError());
        }
        if (!SetCommMask(port_.get(), EV_RXCHAR)) {
            return Fail(GetLastError());
        }
        return true;
    }

    WaitResult WaitForInput(std::optional<std::chrono::milliseconds> limit) override {
        const DWORD bound = limit ? static_cast<DWORD>(limit->count()) : INFINITE;
        if (hungUp_) {
            const WaitResult r = Rest(bound);
            return r == WaitResult::Cancelled || !limit ? r : WaitResult::Quiet;
        }
        if (cancelled_.load()) {
            EndPendingWait();
            return WaitResult::Cancelled;
        }
        // A wait that outlived the last call's limit is still the one to
        // wait on: never a second WaitCommEvent while one is pending.
        if (!waitPending_) {
            eventWord_ = 0;
            waitOv_ = OVERLAPPED{};
            waitOv_.hEvent = waitEvent_.get();
            if (WaitCommEvent(port_.get(), &eventWord_, &waitOv_)) {
                return Judge(true, 0);
            }
            const DWORD e = GetLastError();
            if (e != ERROR_IO_PENDING) {
                return Judge(false, e);
            }
            waitPending_ = true;
        }
        return AwaitPendingWait(bound);
    }

    void CancelWait() override {
        cancelled_ = true;
        if (cancelEvent_) {
            SetEvent(cancelEvent_.get());
        }
        if (port_) {
            SetCommMask(port_.get(), 0);  // ends a pending WaitCommEvent
        }
    }

    void Close() override {
        EndPendingWait();
        if (port_) {
            PurgeComm(port_.get(), kPurgeAll);
        }
        port_.Reset();
        readEvent_.Reset();
        writeEvent_.Reset();
        waitEvent_.Reset();
        cancelEvent_.Reset();
    }

    std::string LastError() const override {
        const DWORD e = lastError_.load();
        return e == 0 ? "" : WinErrorText(e);
    }

  private:
    static HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

    bool Fail(DWORD error) {
        lastError_ = error;
        return false;
    }

    // Completes a read or write that did not finish at once; the count so far.
    std::size_t Finish(OVERLAPPED& ov, DWORD error, DWORD bound) {
        DWORD done = 0;
        if (error != ERROR_IO_PENDING) {
            ClearErrors(error);
            return 0;
        }
        if (WaitForSingleObject(ov.hEvent, bound) != WAIT_OBJECT_0) {
            CancelIoEx(port_.get(), &ov);  // the record must not outlive the call pending
        }
        if (!GetOverlappedResult(port_.get(), &ov, &done, TRUE)) {
            ClearErrors(GetLastError());
        }
        return done;
    }

    void ClearErrors(DWORD error) {
        lastError_ = error;
        DWORD errors = 0;
        ClearCommError(port_.get(), &errors, nullptr);
    }

    // One WaitCommEvent is pending: wait for it to end (bytes, SetCommMask(0)
    // or a failure), or for `bound` to pass, after which it stays pending
    // for the next call. Never a second one while it is pending: both
    // Windows and Wine refuse that.
    WaitResult AwaitPendingWait(DWORD bound) {
        const HANDLE both[2] = {waitOv_.hEvent, cancelEvent_.get()};
        const DWORD woke = WaitForMultipleObjects(2, both, FALSE, bound);
        if (woke == WAIT_TIMEOUT) {
            return WaitResult::Quiet;
        }
        if (woke != WAIT_OBJECT_0) {
            EndPendingWait();  // cancelled, or the wait itself broke
            return cancelled_.load() ? WaitResult::Cancelled : Rest(kFailedWaitRestMs);
        }
        waitPending_ = false;
        DWORD unused = 0;
        if (GetOverlappedResult(port_.get(), &waitOv_, &unused, FALSE)) {
            return Judge(true, 0);
        }
        return Judge(false, GetLastError());
    }

    // CancelWait may have cleared the mask just before the wait was issued, so
    // the watch thread clears it again itself, then waits for the end.
    void EndPendingWait() {
        if (!waitPending_) {
            return;
        }
        waitPending_ = false;
        SetCommMask(port_.get(), 0);
        if (WaitForSingleObject(waitOv_.hEvent, kStuckIoMs) != WAIT_OBJECT_0) {
            CancelIoEx(port_.get(), &waitOv_);
        }
        DWORD unused = 0;
        GetOverlappedResult(port_.get(), &waitOv_, &unused, TRUE);
    }

    // A finished wait. SetCommMask(0) ends it with TRUE and an event word of 0
    // on Windows, with FALSE and ERROR_OPERATION_ABORTED under Wine: both are
    // wake-ups. Bytes that arrived count before anything else is judged.
    WaitResult Judge(bool ok, DWORD error) {
        if (cancelled_.load()) {
            return WaitResult::Cancelled;
        }
        if ((ok && (eventWord_ & EV_RXCHAR) != 0) || BytesWaiting() > 0) {
            return WaitResult::Input;
        }
        if (!ok && IsDeviceGone(error)) {
            lastError_ = error;
            hungUp_ = true;
            return WaitResult::HungUp;
        }
        if (!ok) {
            lastError_ = error;
        }
        return Rest(kFailedWaitRestMs);
    }

    // Failed after `ms`, or Cancelled as soon as CancelWait is called.
    WaitResult Rest(DWORD ms) {
        return WaitForSingleObject(cancelEvent_.get(), ms) == WAIT_OBJECT_0 ? WaitResult::Cancelled
                                                                            : WaitResult::Failed;
    }

    WinHandle port_;
    WinHandle readEvent_;
    WinHandle writeEvent_;
    WinHandle waitEvent_;    // the watch thread's
    WinHandle cancelEvent_;  // set by CancelWait: ends rests and pending waits
    std::atomic<bool> cancelled_{false};
    DWORD eventWord_ = 0;              // the watch thread's
    OVERLAPPED waitOv_{};              // the watch thread's pending wait
    bool waitPending_ = false;         // the watch thread's, then Close's
    bool hungUp_ = false;              // the watch thread's
    std::atomic<DWORD> lastError_{0};  // written by either thread
};

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort() {
    return std::make_unique<WinSerialPort>();
}

}  // namespace sn
