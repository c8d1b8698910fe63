#pragma once
// A scripted SerialPort that records every call. Its script outlives the port
// object, so a test can look at it after the link has closed the port.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/serial_port.h"

namespace sn::testing {

struct FakePortScript {
    using Bytes = std::vector<std::uint8_t>;

    // What the next opens do.
    bool openOk = true;
    bool configureOk = true;
    bool prepareOk = true;
    std::string error = "Device or resource busy";

    // Pushes one receive burst: each arrival is what a read can take at once.
    void PushBurst(std::vector<Bytes> arrivals);
    // The device goes away: the pending wait reports a hang-up.
    void HangUp();
    // Called by the test to see what happened.
    std::vector<Bytes> Writes() const;
    std::vector<std::chrono::milliseconds> WriteTimeouts() const;
    std::vector<std::pair<std::size_t, std::size_t>> Reads() const;  // capacity, count
    int Opens() const;
    int Closes() const;
    int MaxConcurrentWaits() const;
    int WaitsInProgress() const;
    std::vector<LineSettings> Configured() const;
    // Blocks until the watch thread is waiting (or `n` waits have started).
    bool AwaitWaiting(int startedWaits, std::chrono::milliseconds timeout) const;

    mutable std::mutex mutex;
    mutable std::condition_variable cv;
    std::deque<std::deque<Bytes>> bursts;  // pending bursts, each a list of arrivals
    std::deque<Bytes> current;             // arrivals of the burst being read
    std::vector<Bytes> writes;
    std::vector<std::chrono::milliseconds> writeTimeouts;
    std::vector<std::pair<std::size_t, std::size_t>> reads;
    std::vector<LineSettings> configured;
    int opens = 0;
    int closes = 0;
    int waiting = 0;
    int maxWaiting = 0;
    int waitsStarted = 0;
    bool cancelled = false;
    bool hungUp = false;
    int hangUpsReported = 0;
};

class FakeSerialPort final : public SerialPort {
  public:
    explicit FakeSerialPort(std::shared_ptr<FakePortScript> script) : s_(std::move(script)) {}

    bool Open(const std::string& device) override;
    bool Configure(const LineSettings& settings) override;
    void Purge() override {}
    std::size_t BytesWaiting() override;
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override;
    std::size_t Write(const std::uint8_t* bytes, std::size_t count,
                      std::chrono::milliseconds timeout) override;
    bool PrepareWait() override;
    WaitResult WaitForInput(std::optional<std::chrono::milliseconds> limit) override;
    void CancelWait() override;
    void Close() override;
    std::string LastError() const override;

  private:
    std::shared_ptr<FakePortScript> s_;
};

}  // namespace sn::testing
