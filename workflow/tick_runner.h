#pragma once
// TickRunner: runs the monitor's ticks on a thread of their own, so that a
// tick's waits for the pager (up to 3000 ms each) never block a window's
// event loop. The face's timer calls Post(); ticks run one after another,
// and a Post() while a tick is pending or running is merged into it.
//
// Threads: see docs/threads.md (the tick thread). Post and Stop may come from
// any thread; Stop waits for a running tick to end (shut the engine down
// first to make that quick).

#include <chrono>
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
    // Waits up to `within` for no tick to be pending or running; true when so.
    bool WaitIdle(std::chrono::milliseconds within);

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

class FormView;

// Before a dialog of the face lists the ports itself: the monitor's timer is
// stopped and a tick still running on the runner's thread is let finish as
// it would have (nothing is cancelled), so that the port source is used by
// one thread at a time. `pump` keeps the face's events going meanwhile, about
// every 10 ms (a box the tick opens must stay answerable), and returns false
// to give up (the window is closing). True when no tick runs; the caller
// lists the ports before it handles any further event.
bool HoldMonitor(FormView& form, TickRunner& runner, const std::function<bool()>& pump);

}  // namespace sn
