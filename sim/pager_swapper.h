#pragma once
// Takes out a pager that has just been given its number and seats a fresh,
// unnumbered one of the same model a while later, as an operator would, so
// that a simulated cradle can be written again and again.
//
// Threads: see docs/threads.md (the simulated cradle); the destructor stops
// and joins the swapper's thread.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "sim/substitute_pager.h"

namespace sn::sim {

class PagerSwapper {
  public:
    // `takenOut` sees each numbered pager once it is out of the cradle,
    // before a fresh one takes its place (on the swapper's thread).
    PagerSwapper(SubstitutePager& pager, std::chrono::milliseconds delay,
                 std::function<void(const SubstitutePager&)> takenOut = {});
    PagerSwapper(const PagerSwapper&) = delete;
    PagerSwapper& operator=(const PagerSwapper&) = delete;
    ~PagerSwapper();

  private:
    void Watch(bool wasNumbered);

    SubstitutePager& pager_;
    std::chrono::milliseconds delay_;
    std::function<void(const SubstitutePager&)> takenOut_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace sn::sim
