#pragma once
// A SerialPort wired straight to a SubstitutePager inside the program: what
// the tool writes reaches the pager at once, and the pager's replies come
// back as a CP210x bridge hands them to the host (pieces of a few bytes about
// a millisecond apart, see Delivery), or whole when asked. For systems
// without pseudo-terminals, and for tests that want no OS at all.
//
// Each open port runs one thread that plays the cradle's side. Unplug()
// takes the cradle away: a pending wait reports a hang-up, as a tty does.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/serial_port.h"
#include "sim/delivery.h"
#include "sim/substitute_pager.h"

namespace sn::sim {

class SimSerialPort final : public SerialPort {
  public:
    explicit SimSerialPort(SubstitutePager& pager, Delivery delivery = {});
    ~SimSerialPort() override;

    bool Open(const std::string& device) override;
    bool Configure(const LineSettings& settings) override;
    void Purge() override;
    std::size_t BytesWaiting() override;
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override;
    std::size_t Write(const std::uint8_t* bytes, std::size_t count,
                      std::chrono::milliseconds timeout) override;
    bool PrepareWait() override;
    WaitResult WaitForInput(std::optional<std::chrono::milliseconds> limit) override;
    void CancelWait() override;
    void Close() override;
    std::string LastError() const override;

    // The cradle is pulled out: every later read finds nothing and the wait
    // reports a hang-up once the bytes already received are taken.
    void Unplug();
    LineSettings Settings() const;

  private:
    void Serve();
    // False when the port closes first.
    bool RestFor(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds d);
    void Deliver(std::unique_lock<std::mutex>& lock, const std::vector<std::uint8_t>& bytes);

    SubstitutePager& pager_;
    Delivery delivery_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::uint8_t> toPager_;
    std::deque<std::uint8_t> toHost_;
    LineSettings settings_;
    bool open_ = false;
    bool closing_ = false;
    bool cancelled_ = false;
    bool unplugged_ = false;
    bool hangUpReported_ = false;
    std::string lastError_;
    std::chrono::steady_clock::time_point started_;
    std::thread cradle_;
};

}  // namespace sn::sim
