#pragma once
// TickRunner: runs the monitor's ticks on a thread of their own, so that a
// tick's waits for the pager (up to 3000 ms each) never block a window's
// event loop. The face's timer calls Post(); ticks run one after another,
// and a Post() while a tick is pending or running is merged into it.
//
// Thread safety: Post and Stop may be called from any thread; Stop waits for
// a running tick to end (cancel the clock first to make that quick).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sn {

class TickRunner {
  public:
    explicit TickRunner(std::function<void()> tick);
    TickRunner(const TickRunner&) = delete;
    TickRunner& operator=(const TickRunner&) = delete;
    ~TickRunner();

    void Post();
    void Stop();
    bool Busy() const;

  private:
    void Run();

    std::function<void()> tick_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool pending_ = false;
    bool running_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace sn
