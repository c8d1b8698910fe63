#pragma once
// LinkTracer: sees every frame the link sends and every receive burst, for
// the command line's --trace. Set it before the link is opened.

#include <cstdint>
#include <span>

namespace sn {

class LinkTracer {
  public:
    LinkTracer() = default;
    LinkTracer(const LinkTracer&) = delete;
    LinkTracer& operator=(const LinkTracer&) = delete;
    virtual ~LinkTracer() = default;

    // On the sending thread, once per frame, before it is written.
    virtual void FrameSent(std::span<const std::uint8_t> frame) = 0;
    // On the watch thread: each chunk read, then the end of the burst.
    virtual void ChunkReceived(std::span<const std::uint8_t> chunk) = 0;
    virtual void BurstEnded() = 0;
};

}  // namespace sn
