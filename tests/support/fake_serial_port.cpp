#include "tests/support/fake_serial_port.h"

#include <algorithm>
#include <cstring>

namespace sn::testing {

void FakePortScript::PushBurst(std::vector<Bytes> arrivals) {
    {
        std::lock_guard lock(mutex);
        bursts.emplace_back(arrivals.begin(), arrivals.end());
    }
    cv.notify_all();
}

void FakePortScript::HangUp() {
    {
        std::lock_guard lock(mutex);
        hungUp = true;
    }
    cv.notify_all();
}

std::vector<FakePortScript::Bytes> FakePortScript::Writes() const {
    std::lock_guard lock(mutex);
    return writes;
}

std::vector<std::chrono::milliseconds> FakePortScript::WriteTimeouts() const {
    std::lock_guard lock(mutex);
    return writeTimeouts;
}

std::vector<std::pair<std::size_t, std::size_t>> FakePortScript::Reads() const {
    std::lock_guard lock(mutex);
    return reads;
}

int FakePortScript::Opens() const {
    std::lock_guard lock(mutex);
    return opens;
}

int FakePortScript::Closes() const {
    std::lock_guard lock(mutex);
    return closes;
}

int FakePortScript::MaxConcurrentWaits() const {
    std::lock_guard lock(mutex);
    return maxWaiting;
}

int FakePortScript::WaitsInProgress() const {
    std::lock_guard lock(mutex);
    return waiting;
}

std::vector<LineSettings> FakePortScript::Configured() const {
    std::lock_guard lock(mutex);
    return configured;
}

bool FakePortScript::AwaitWaiting(int startedWaits, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, timeout, [&] { return waiting > 0 && waitsStarted >= startedWaits; });
}

bool FakeSerialPort::Open(const std::string&) {
    std::lock_guard lock(s_->mutex);
    if (!s_->openOk) {
        return false;
    }
    ++s_->opens;
    s_->cancelled = false;
    s_->hungUp = false;
    return true;
}

bool FakeSerialPort::Configure(const LineSettings& settings) {
    std::lock_guard lock(s_->mutex);
    s_->configured.push_back(settings);
    return s_->configureOk;
}

std::size_t FakeSerialPort::BytesWaiting() {
    std::lock_guard lock(s_->mutex);
    return s_->current.empty() ? 0 : s_->current.front().size();
}

std::size_t FakeSerialPort::Read(std::uint8_t* buffer, std::size_t capacity) {
    std::lock_guard lock(s_->mutex);
    std::size_t n = 0;
    if (!s_->current.empty()) {
        auto& front = s_->current.front();
        n = std::min(capacity, front.size());
        std::memcpy(buffer, front.data(), n);
        front.erase(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(n));
        if (front.empty()) {
            s_->current.pop_front();
        }
    }
    s_->reads.emplace_back(capacity, n);
    return n;
}

std::size_t FakeSerialPort::Write(const std::uint8_t* bytes, std::size_t count,
                                  std::chrono::milliseconds timeout) {
    std::lock_guard lock(s_->mutex);
    s_->writes.emplace_back(bytes, bytes + count);
    s_->writeTimeouts.push_back(timeout);
    return count;
}

bool FakeSerialPort::PrepareWait() {
    std::lock_guard lock(s_->mutex);
    return s_->prepareOk;
}

WaitResult FakeSerialPort::WaitForInput(std::optional<std::chrono::milliseconds> limit) {
    std::unique_lock lock(s_->mutex);
    ++s_->waiting;
    ++s_->waitsStarted;
    s_->maxWaiting = std::max(s_->maxWaiting, s_->waiting);
    s_->cv.notify_all();
    // Like a tty: a hang-up is reported once, then waits block until cancelled.
    bool report = false;
    const auto ready = [&] {
        report = s_->hungUp && s_->hangUpsReported < s_->opens;
        return s_->cancelled || report || (!s_->hungUp && !s_->bursts.empty());
    };
    if (!limit) {
        s_->cv.wait(lock, ready);
    } else if (!s_->cv.wait_for(lock, *limit, ready)) {
        --s_->waiting;
        return WaitResult::Quiet;
    }
    --s_->waiting;
    if (s_->cancelled) {
        return WaitResult::Cancelled;
    }
    if (report) {
        s_->hangUpsReported = s_->opens;
        return WaitResult::HungUp;
    }
    s_->current = std::move(s_->bursts.front());
    s_->bursts.pop_front();
    return WaitResult::Input;
}

void FakeSerialPort::CancelWait() {
    {
        std::lock_guard lock(s_->mutex);
        s_->cancelled = true;
    }
    s_->cv.notify_all();
}

void FakeSerialPort::Close() {
    std::lock_guard lock(s_->mutex);
    ++s_->closes;
}

std::string FakeSerialPort::LastError() const {
    std::lock_guard lock(s_->mutex);
    return s_->error;
}

}  // namespace sn::testing
