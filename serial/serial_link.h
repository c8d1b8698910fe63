#pragma once
// CSerialLink: the one serial port through which the tool talks to the cradle.
// It opens and configures the port, runs the watch thread that feeds received
// bytes to the reply decoder, sends command frames given as hex text, and
// closes the port.
//
// Threads: see docs/threads.md (the serial link). Besides:
// - Open on a link that is already open keeps the open port and its watch
//   thread when the device is the same and has not hung up (returns 1,
//   nothing reopened, no message); for another device, or one that hung up
//   (a cradle pulled and plugged in again), it closes the old port first.
// - "Unable to connect to device. " is reported once for a run of failed
//   opens (a port another program holds would otherwise bring a box every
//   second); it is reported again after an open succeeded, or after
//   RearmOpenReport (the cradle was gone and came back).
// - SendCommand numbers every frame (LinkState::txSeq) before its bytes go
//   out, so that waiters judge only the reply to their own frame.
// - The destructor closes the link.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "protocol/link_state.h"
#include "serial/comm_link.h"
#include "serial/link_reporter.h"
#include "serial/link_tracer.h"
#include "serial/rx_queue.h"
#include "serial/serial_port.h"

namespace sn {

class CSerialLink final : public CommLink {
  public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    static constexpr std::size_t kWritePiece = 8;
    static constexpr std::size_t kReadCapacity = 522;

    // `reporter` may be null (messages are then dropped); it must outlive the link.
    explicit CSerialLink(LinkState& state = ProcessLinkState(), LinkReporter* reporter = nullptr,
                         PortFactory factory = MakeSystemSerialPort);
    ~CSerialLink() override;

    // 1 when the port is open, configured and the watch thread runs; else 0.
    int Open(const std::string& port, std::uint32_t baud, std::uint8_t dataBits,
             std::uint8_t stopBits, std::uint8_t parity) override;
    void Close() override;
    int IsOpen() const override { return m_bOpen.load(); }
    // Converts the frame text to bytes and writes them in pieces of 8.
    void SendCommand(std::string text) override;
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t count);
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity);
    void RenewReplyEvent() override;
    void RearmOpenReport() override { openFailureReported_ = false; }
    // True once the watch thread found the device gone (until the next open).
    bool HungUp() const { return hungUp_.load(); }

    LinkState& State() override { return state_; }
    // Bytes queued in the current receive burst (0 between bursts).
    std::int32_t QueuedBytes() const { return queued_.load(); }
    // Set while the link is closed; null for none.
    void SetTracer(LinkTracer* tracer) { tracer_ = tracer; }
    // The OS's reason for the last failed open, or "".
    std::string LastOpenError() const override;

    std::string m_strPort;  // written only while no watch thread runs
    std::atomic<int> m_bOpen{0};

  private:
    friend void ThreadWatchComm(CSerialLink* link);
    void Report(const std::string& text, const std::string& reason);
    void ReceiveBurst(std::uint8_t* chunk);
    void TakeChunk(const std::uint8_t* chunk, std::uint32_t n);

    LinkState& state_;
    LinkReporter* reporter_;
    LinkTracer* tracer_ = nullptr;
    PortFactory factory_;
    std::unique_ptr<SerialPort> m_hComm;
    std::thread m_hThread;
    CRxQueue m_rxQueue;
    std::atomic<std::int32_t> queued_{0};
    std::uint32_t writeTimeoutPerByteMs_ = 2;
    std::string lastOpenError_;
    std::atomic<bool> hungUp_{false};
    bool openFailureReported_ = false;  // the controlling thread's
    std::string reportedPort_;
};

// The watch thread: waits for received bytes, reads each receive burst,
// decodes it and signals replyEvent at its end.
void ThreadWatchComm(CSerialLink* link);

}  // namespace sn
