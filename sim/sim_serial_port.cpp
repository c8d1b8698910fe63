#include "sim/sim_serial_port.h"

#include <algorithm>

namespace sn::sim {

SimSerialPort::SimSerialPort(SubstitutePager& pager, Delivery delivery)
    : pager_(pager), delivery_(delivery) {}

SimSerialPort::~SimSerialPort() {
    Close();
}

bool SimSerialPort::Open(const std::string&) {
    Close();
    std::lock_guard lock(mutex_);
    if (unplugged_) {
        lastError_ = "The system cannot find the file specified.";
        return false;
    }
    open_ = true;
    closing_ = false;
    cancelled_ = false;
    hangUpReported_ = false;
    started_ = std::chrono::steady_clock::now();
    cradle_ = std::thread([this] { Serve(); });
    return true;
}

bool SimSerialPort::Configure(const LineSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
    return open_;
}

LineSettings SimSerialPort::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void SimSerialPort::Purge() {
    std::lock_guard lock(mutex_);
    toHost_.clear();
}

std::size_t SimSerialPort::BytesWaiting() {
    std::lock_guard lock(mutex_);
    return toHost_.size();
}

std::size_t SimSerialPort::Read(std::uint8_t* buffer, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(capacity, toHost_.size());
    std::copy_n(toHost_.begin(), n, buffer);
    toHost_.erase(toHost_.begin(), toHost_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

std::size_t SimSerialPort::Write(const std::uint8_t* bytes, std::size_t count,
                                 std::chrono::milliseconds) {
    std::lock_guard lock(mutex_);
    if (!open_ || unplugged_) {
        return 0;
    }
    toPager_.insert(toPager_.end(), bytes, bytes + count);
    cv_.notify_all();
    return count;
}

bool SimSerialPort::PrepareWait() {
    std::lock_guard lock(mutex_);
    return open_;
}

WaitResult SimSerialPort::WaitForInput(std::optional<std::chrono::milliseconds> limit) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] {
        return cancelled_ || !toHost_.empty() || (unplugged_ && !hangUpReported_);
    };
    if (!limit) {
        cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, *limit, ready)) {
        return WaitResult::Quiet;
    }
    if (cancelled_) {
        return WaitResult::Cancelled;
    }
    if (!toHost_.empty()) {
        return WaitResult::Input;
    }
    hangUpReported_ = true;  // later waits block until CancelWait
    return WaitResult::HungUp;
}

void SimSerialPort::CancelWait() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    cv_.notify_all();
}

void SimSerialPort::Close() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        cv_.notify_all();
    }
    if (cradle_.joinable()) {
        cradle_.join();
    }
    std::lock_guard lock(mutex_);
    open_ = false;
    toPager_.clear();
    toHost_.clear();
}

std::string SimSerialPort::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void SimSerialPort::Unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
    toPager_.clear();
    cv_.notify_all();
}

bool SimSerialPort::RestFor(std::unique_lock<std::mutex>& lock, std::chrono::nanoseconds d) {
    const auto until = std::chrono::steady_clock::now() + d;
    cv_.wait_until(lock, until, [this] { return closing_ || unplugged_; });
    return !closing_ && !unplugged_;
}

void SimSerialPort::Deliver(std::unique_lock<std::mutex>& lock,
                            const std::vector<std::uint8_t>& bytes) {
    const std::size_t piece = delivery_.Whole() ? bytes.size() : delivery_.pieceBytes;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        if (!delivery_.Whole() && !RestFor(lock, delivery_.interval)) {
            return;
        }
        const std::size_t n = std::min(piece, bytes.size() - at);
        toHost_.insert(toHost_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        cv_.notify_all();
    }
}

// The cradle's side: hands what the tool wrote to the pager and delivers the
// pager's replies. The pager is called without the port's lock held.
void SimSerialPort::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return closing_ || !toPager_.empty(); });
        if (closing_) {
            return;
        }
        const std::vector<std::uint8_t> request(toPager_.begin(), toPager_.end());
        toPager_.clear();
        const auto now = std::chrono::steady_clock::now() - started_;
        lock.unlock();
        const std::vector<ReplyBurst> bursts = pager_.Receive(request, now);
        lock.lock();
        for (const ReplyBurst& burst : bursts) {
            if (!RestFor(lock, burst.gapBefore)) {
                break;
            }
            Deliver(lock, burst.bytes);
        }
    }
}

}  // namespace sn::sim
