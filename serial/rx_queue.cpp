#include "serial/rx_queue.h"

namespace sn {

void CRxQueue::Clear() {
    m_tail = 0;
    m_head = 0;
    m_buf.fill(0);
}

std::int32_t CRxQueue::Count() const {
    return (m_head - m_tail + kSize) % kSize;
}

int CRxQueue::Put(std::uint8_t byte) {
    if (Count() == kSize - 1) {
        return 0;
    }
    m_buf[static_cast<std::size_t>(m_head)] = byte;
    m_head = (m_head + 1) % kSize;
    return 1;
}

}  // namespace sn
