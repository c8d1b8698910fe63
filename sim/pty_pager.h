#pragma once
// Runs a SubstitutePager behind a pseudo-terminal, so the tool can open the
// pty's other end as its cradle port. Replies go out as a CP210x bridge hands
// them to the host: in pieces of a few bytes about a millisecond apart (see
// Delivery), or whole when a test asks for it; a split reply with the
// scripted gap between its two parts.
//
// Threads: see docs/threads.md (the simulated cradle); Start and Stop from
// the owning thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "sim/delivery.h"
#include "sim/substitute_pager.h"

namespace sn::sim {

struct PtyPagerOptions {
    // Emulate the wire at 57,600 bps 8N2 (11 bits, about 191 us a byte): a
    // reply goes out only after the request and the reply would have crossed it.
    bool lineRate = false;
    // The pager's own time between a request and its reply.
    std::chrono::microseconds turnaround{0};
    Delivery delivery{};
};

inline constexpr std::chrono::nanoseconds kWireTimePerByte{191'000};

// The cradle pulled in the middle of the traffic: once the pager has taken
// request number `afterRequest` (1 for the first since Start), only the first
// `replyBytes` bytes of its reply go out; then the pty closes, as a pulled
// bridge's tty does, and `pulled` runs on the runner's thread (a test removes
// the cradle's link there).
struct PullPlan {
    std::size_t afterRequest = 0;
    std::size_t replyBytes = 0;
    std::function<void()> pulled;
};

class PtyPager {
  public:
    explicit PtyPager(SubstitutePager& pager, PtyPagerOptions options = {});
    PtyPager(const PtyPager&) = delete;
    PtyPager& operator=(const PtyPager&) = delete;
    ~PtyPager();

    // Opens the pty and starts serving; false (see LastError) when no pty.
    bool Start();
    // Stops serving and closes the pty: the tool's end of it hangs up, as a
    // tty does when its USB bridge is pulled out.
    void Stop();
    // The port to open, such as /dev/pts/3.
    const std::string& PortPath() const { return portPath_; }
    std::string LastError() const { return lastError_; }
    // The descriptor of the runner's own hold on the port side, for tests that
    // look at or preset the line settings.
    int PortFd() const { return slaveFd_; }
    // Before Start only.
    void PlanPull(PullPlan plan) { pull_ = std::move(plan); }
    bool Pulled() const { return pulled_.load(); }

  private:
    void Run();
    void Serve(const std::uint8_t* bytes, std::size_t n);
    bool Rest(std::chrono::nanoseconds d);                 // false when stopping
    bool Deliver(const std::vector<std::uint8_t>& bytes);  // false when stopping
    void WriteAll(const std::uint8_t* bytes, std::size_t n);
    // Sends what the pull plan lets through of `bursts`, then hangs up.
    void PullNow(const std::vector<ReplyBurst>& bursts);

    SubstitutePager& pager_;
    PtyPagerOptions options_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    int stopFd_ = -1;
    std::string portPath_;
    std::string lastError_;
    std::thread thread_;
    std::chrono::steady_clock::time_point started_;
    PullPlan pull_;
    std::size_t logAtStart_ = 0;  // requests the pager had taken before Start
    std::atomic<bool> pulled_{false};
};

}  // namespace sn::sim
