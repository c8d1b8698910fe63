#pragma once
// SerialPort: the small piece of the OS that the serial link needs. One
// implementation per OS, each in its own file, picked by CMake
// (serial_port_posix.cpp, serial_port_win.cpp).
//
// Threads: see docs/threads.md (the serial link). CancelWait makes the
// current and every later WaitForInput return at once until the port is
// closed and opened again; Close is called only after the watch thread has
// ended.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/line_settings.h"

namespace sn {

enum class WaitResult {
    Input,      // bytes have arrived
    Cancelled,  // CancelWait was called
    Failed,     // the wait itself failed; the port has rested before returning
    HungUp,     // the device is gone (cradle pulled); every later wait blocks
                // until CancelWait, so a dead port never costs a busy loop
    Quiet,      // nothing arrived within the wait's limit
};

class SerialPort {
  public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    virtual ~SerialPort() = default;

    // Opens the device for exclusive use; false when it cannot be had.
    virtual bool Open(const std::string& device) = 0;
    // Sets speed, data bits, parity and stop bits; every byte passes
    // unchanged afterwards. Software flow control (XON/XOFF) is turned off,
    // since the pager's data and checksums hold 0x11 and 0x13; hardware flow
    // control stays as the port had it.
    virtual bool Configure(const LineSettings& settings) = 0;
    // Drops whatever waits to be sent or read.
    virtual void Purge() = 0;
    // Bytes the driver holds for reading; 0 on error.
    virtual std::size_t BytesWaiting() = 0;
    // Reads what has arrived, up to `capacity`, without waiting; 0 for none.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
    // Writes all bytes, waiting at most `timeout`; returns the count written.
    virtual std::size_t Write(const std::uint8_t* bytes, std::size_t count,
                              std::chrono::milliseconds timeout) = 0;
    // Whether the watch thread can wait on this port (the wait's own
    // resources exist).
    virtual bool PrepareWait() = 0;
    // Blocks until bytes arrive, CancelWait is called, the wait fails, or
    // `limit` (when given) has passed without a byte. Bytes that arrived
    // before a hang-up are reported as Input first.
    virtual WaitResult WaitForInput(std::optional<std::chrono::milliseconds> limit) = 0;
    virtual void CancelWait() = 0;
    virtual void Close() = 0;
    // The OS's words for the last failure ("Permission denied", ...), or "".
    virtual std::string LastError() const = 0;
};

// The OS's serial port.
std::unique_ptr<SerialPort> MakeSystemSerialPort();

}  // namespace sn
