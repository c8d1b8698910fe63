#pragma once
// --trace: every frame sent and every receive burst, time-stamped, in hex.
//   [    1.002] > 02 70 22 92 03
//   [    1.004] < 02 80 06 86 03

#include <chrono>
#include <mutex>
#include <ostream>
#include <vector>

#include "serial/link_tracer.h"

namespace sn::cli {

class TraceWriter final : public LinkTracer {
  public:
    explicit TraceWriter(std::ostream& out);
    void FrameSent(std::span<const std::uint8_t> frame) override;
    void ChunkReceived(std::span<const std::uint8_t> chunk) override;
    void BurstEnded() override;

  private:
    void Line(char direction, std::span<const std::uint8_t> bytes);

    std::ostream& out_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::vector<std::uint8_t> burst_;
};

}  // namespace sn::cli
