// PtyPager on POSIX pseudo-terminals.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/pty_pager.h"

namespace sn::sim {

PtyPager::PtyPager(SubstitutePager& pager, PtyPagerOptions options)
    : pager_(pager), options_(options) {}

PtyPager::~PtyPager() {
    Stop();
}

bool PtyPager::Start() {
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0) {
        lastError_ = std::strerror(errno);
        Stop();
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(masterFd_, name, sizeof name) != 0) {
        lastError_ = std::strerror(errno);
        Stop();
        return false;
    }
    portPath_ = name;
    // Hold the port side open ourselves: with no one holding it, the master
    // reports a hang-up between the tool's opens. Raw from the start, so that
    // nothing is echoed back or translated before the tool configures it.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (slaveFd_ < 0 || stopFd_ < 0) {
        lastError_ = std::strerror(errno);
        Stop();
        return false;
    }
    termios tio{};
    ::tcgetattr(slaveFd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slaveFd_, TCSANOW, &tio);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    started_ = std::chrono::steady_clock::now();
    logAtStart_ = pager_.Log().size();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PtyPager::Stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&masterFd_, &slaveFd_, &stopFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool PtyPager::Rest(std::chrono::nanoseconds d) {
    if (d <= std::chrono::nanoseconds::zero()) {
        return true;
    }
    // Sleep in microseconds precision for line-rate emulation; stop wins.
    const auto until = std::chrono::steady_clock::now() + d;
    for (;;) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) {
            return true;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (ms < 1) {
            std::this_thread::sleep_for(left);
            return true;
        }
        pollfd stop{stopFd_, POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(ms)) > 0) {
            return false;
        }
    }
}

void PtyPager::WriteAll(const std::uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(masterFd_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd out{masterFd_, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&out, 1, 200) > 0) {
            continue;
        }
        return;  // nobody reads the port: the rest is lost, as on a real line
    }
}

// Whole: one write, after the reply's wire time when the line is emulated.
// In pieces: one piece per interval, the interval standing for the wire time
// and the bridge's transfer period together.
bool PtyPager::Deliver(const std::vector<std::uint8_t>& bytes) {
    const Delivery& d = options_.delivery;
    if (d.Whole()) {
        if (options_.lineRate && !Rest(kWireTimePerByte * static_cast<long>(bytes.size()))) {
            return false;
        }
        WriteAll(bytes.data(), bytes.size());
        return true;
    }
    for (std::size_t at = 0; at < bytes.size(); at += d.pieceBytes) {
        if (!Rest(d.interval)) {
            return false;
        }
        WriteAll(bytes.data() + at, std::min(d.pieceBytes, bytes.size() - at));
    }
    return true;
}

void PtyPager::PullNow(const std::vector<ReplyBurst>& bursts) {
    std::size_t left = pull_.replyBytes;
    for (const ReplyBurst& burst : bursts) {
        const std::size_t n = std::min(left, burst.bytes.size());
        if (n > 0 && !Deliver({burst.bytes.begin(), burst.bytes.begin() + static_cast<long>(n)})) {
            return;
        }
        left -= n;
    }
    // Hold the port side no longer, then close the master: the tool's end
    // hangs up and the pty's node goes away.
    for (int* fd : {&slaveFd_, &masterFd_}) {
        ::close(*fd);
        *fd = -1;
    }
    pulled_ = true;
    if (pull_.pulled) {
        pull_.pulled();
    }
}

void PtyPager::Serve(const std::uint8_t* bytes, std::size_t n) {
    const auto now = std::chrono::steady_clock::now() - started_;
    auto bursts = pager_.Receive(std::span(bytes, n), now);
    if (pull_.afterRequest > 0 && pager_.Log().size() - logAtStart_ >= pull_.afterRequest) {
        PullNow(bursts);
        return;
    }
    for (const ReplyBurst& burst : bursts) {
        std::chrono::nanoseconds wait = burst.gapBefore;
        if (burst.requestSize > 0) {
            wait += options_.turnaround;
            if (options_.lineRate) {
                wait += kWireTimePerByte * static_cast<long>(burst.requestSize);
            }
        }
        if (!Rest(wait) || !Deliver(burst.bytes)) {
            return;
        }
    }
}

void PtyPager::Run() {
    std::uint8_t buf[4096];
    while (!pulled_.load()) {
        pollfd fds[2] = {{masterFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(masterFd_, buf, sizeof buf);
            if (n > 0) {
                Serve(buf, static_cast<std::size_t>(n));
            }
        } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            Rest(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace sn::sim
