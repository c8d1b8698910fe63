// The watch thread of a CSerialLink.

#include <thread>

#include "protocol/receive_burst.h"
#include "protocol/reply_decoder.h"
#include "serial/serial_link.h"

namespace sn {

void CSerialLink::TakeChunk(const std::uint8_t* chunk, std::uint32_t n) {
    state_.chunkReadPos = 0;
    // A chunk that would bring this burst to the queue's size is dropped whole.
    if (static_cast<std::int64_t>(CRxQueue::kSize) - m_rxQueue.Count() <= n) {
        Report(kBuffFullText, {});
        return;
    }
    state_.chunkWritePos = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        (void)m_rxQueue.Put(chunk[i]);
        state_.chunkBuf[static_cast<std::size_t>(state_.chunkWritePos++)] = chunk[i];
        while (state_.chunkReadPos != state_.chunkWritePos) {
            DecodeReplyByte(state_);
        }
    }
    queued_ = m_rxQueue.Count();
}

// Reads until a read returns nothing. A reply may take several bursts (the
// bridge's USB transfers); replyEvent is set at the end of each, whatever came.
void CSerialLink::ReceiveBurst(std::uint8_t* chunk) {
    BeginReceiveBurst(state_);
    for (;;) {
        const std::uint32_t n = Read(chunk, static_cast<std::uint32_t>(kReadCapacity));
        if (n == 0) {
            break;
        }
        if (tracer_ != nullptr) {
            tracer_->ChunkReceived(std::span<const std::uint8_t>(chunk, n));
        }
        TakeChunk(chunk, n);
    }
    m_rxQueue.Clear();
    queued_ = 0;
    if (tracer_ != nullptr) {
        tracer_->BurstEnded();
    }
    EndReceiveBurst(state_);
}

void ThreadWatchComm(CSerialLink* link) {
    if (!link->m_hComm->PrepareWait()) {
        link->Report(std::string(kWatchThreadErrorText) + link->m_strPort,
                     link->m_hComm->LastError());
        return;
    }
    std::uint8_t chunk[CSerialLink::kReadCapacity];
    while (link->state_.linkActive.load() != 0) {
        // While a frame is under way its next byte is due within the gap.
        const bool underWay = FrameUnderWay(link->state_);
        const WaitResult r =
            link->m_hComm->WaitForInput(underWay ? std::optional(kFrameGap) : std::nullopt);
        if (r == WaitResult::Input && link->state_.linkActive.load() != 0) {
            link->ReceiveBurst(chunk);
        } else if (r == WaitResult::Quiet) {
            DropFrameUnderWay(link->state_);
        } else if (r == WaitResult::HungUp) {
            // The device is gone for good: nothing more will arrive, replies
            // time out, and the next open starts afresh. The port's waits now
            // block until the link closes.
            link->hungUp_ = true;
        }
        std::this_thread::yield();
    }
}

}  // namespace sn
