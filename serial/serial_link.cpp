#include "serial/serial_link.h"

#include <algorithm>

#include "protocol/hex_text.h"
#include "protocol/receive_burst.h"

namespace sn {

CSerialLink::CSerialLink(LinkState& state, LinkReporter* reporter, PortFactory factory)
    : state_(state), reporter_(reporter), factory_(std::move(factory)) {
    m_rxQueue.Clear();
    state_.linkActive = 0;
}

CSerialLink::~CSerialLink() {
    if (m_bOpen.load() || m_hThread.joinable() || m_hComm) {
        Close();
    }
}

void CSerialLink::Report(const std::string& text, const std::string& reason) {
    if (reporter_ != nullptr) {
        reporter_->ShowLinkMessage(text, reason);
    }
}

std::string CSerialLink::LastOpenError() const {
    return lastOpenError_;
}

int CSerialLink::Open(const std::string& port, std::uint32_t baud, std::uint8_t dataBits,
                      std::uint8_t stopBits, std::uint8_t parity) {
    if (m_bOpen.load()) {
        if (port == m_strPort && !hungUp_.load()) {
            state_.linkActive = 1;
            return 1;
        }
        Close();
    }
    if (baud == 0) {
        return 0;
    }
    m_strPort = port;
    lastOpenError_.clear();
    auto handle = factory_();
    if (!handle || !handle->Open(port)) {
        lastOpenError_ = handle ? handle->LastError() : std::string();
        if (!openFailureReported_ || port != reportedPort_) {
            openFailureReported_ = true;
            reportedPort_ = port;
            Report(kUnableToConnectText, lastOpenError_);
        }
        return 0;
    }
    openFailureReported_ = false;
    handle->Purge();
    if (!handle->Configure(LineSettings{baud, dataBits, stopBits, parity})) {
        lastOpenError_ = handle->LastError();
        handle->Close();
        return 0;
    }
    writeTimeoutPerByteMs_ = 115200 / baud;
    m_hComm = std::move(handle);
    hungUp_ = false;
    m_bOpen = 1;
    state_.linkActive = 1;
    try {
        m_hThread = std::thread(ThreadWatchComm, this);
    } catch (const std::system_error&) {
        Close();
        return 0;
    }
    return 1;
}

void CSerialLink::Close() {
    m_bOpen = 0;
    state_.linkActive = 0;
    if (m_hComm) {
        m_hComm->CancelWait();
    }
    if (m_hThread.joinable()) {
        m_hThread.join();
    }
    if (m_hComm) {
        m_hComm->Purge();
        m_hComm->Close();
        m_hComm.reset();
    }
}

std::uint32_t CSerialLink::Write(const std::uint8_t* bytes, std::uint32_t count) {
    if (!m_bOpen.load() || !m_hComm || count == 0) {
        return 0;
    }
    const auto timeout = std::chrono::milliseconds(writeTimeoutPerByteMs_ * count);
    return static_cast<std::uint32_t>(m_hComm->Write(bytes, count, timeout));
}

std::uint32_t CSerialLink::Read(std::uint8_t* buffer, std::uint32_t capacity) {
    if (!m_hComm || m_hComm->BytesWaiting() == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(m_hComm->Read(buffer, capacity));
}

void CSerialLink::SendCommand(std::string text) {
    const FrameBytes bytes = FrameTextToBytes(text);
    NoteFrameSent(state_);
    if (tracer_ != nullptr && m_bOpen.load() != 0) {
        tracer_->FrameSent(bytes);
    }
    for (std::size_t at = 0; at < bytes.size(); at += kWritePiece) {
        const std::size_t n = std::min(kWritePiece, bytes.size() - at);
        (void)Write(bytes.data() + at, static_cast<std::uint32_t>(n));
    }
}

void CSerialLink::RenewReplyEvent() {
    state_.replyEvent.Renew();
}

}  // namespace sn
