#pragma once
// The virtual cradle: a substitute pager served on a pseudo-terminal inside
// the program, for running the whole workflow without hardware.
//
// With a swap delay, a pager that has just been given its number is taken
// out and a fresh unnumbered one seated that long afterwards, as an operator
// would, so a window can be tried again and again.

#include <chrono>
#include <memory>
#include <string>

#include "sim/pager_swapper.h"
#include "sim/pty_pager.h"
#include "sim/substitute_pager.h"

namespace sn::sim {

class VirtualCradle {
  public:
    explicit VirtualCradle(PtyPagerOptions options = {});
    VirtualCradle(const VirtualCradle&) = delete;
    VirtualCradle& operator=(const VirtualCradle&) = delete;
    ~VirtualCradle();

    // Starts serving; false (see LastError) when no pty can be had.
    bool Start(const std::string& model, bool numbered);
    void EnableSwap(std::chrono::milliseconds delay);
    const std::string& PortPath() const { return runner_.PortPath(); }
    std::string LastError() const { return runner_.LastError(); }
    SubstitutePager& Pager() { return pager_; }

  private:
    SubstitutePager pager_;
    PtyPager runner_;
    std::unique_ptr<PagerSwapper> swapper_;
};

}  // namespace sn::sim
