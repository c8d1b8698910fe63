#pragma once
// CRxQueue: a circular byte queue with one slot kept empty. Nothing takes bytes
// out of it: the watch thread empties it at the end of every receive burst, so
// it bounds how many bytes one burst may bring.

#include <array>
#include <cstdint>

namespace sn {

class CRxQueue {
  public:
    static constexpr std::int32_t kSize = 10600;

    CRxQueue() { Clear(); }
    void Clear();
    std::int32_t Count() const;
    // 1 when stored, 0 when the queue is full (kSize - 1 bytes).
    int Put(std::uint8_t byte);

  private:
    std::array<std::uint8_t, kSize> m_buf{};
    std::int32_t m_head = 0;
    std::int32_t m_tail = 0;
};

}  // namespace sn
