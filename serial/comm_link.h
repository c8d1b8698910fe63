#pragma once
// CommLink: what the workflow needs of the link to the cradle. CSerialLink is
// the real one; tests put an in-process link to the substitute pager in its
// place, so that pacing and retries can be checked in virtual time.

#include <cstdint>
#include <string>

#include "protocol/link_state.h"
#include "serial/line_settings.h"

namespace sn {

class CommLink {
  public:
    CommLink() = default;
    CommLink(const CommLink&) = delete;
    CommLink& operator=(const CommLink&) = delete;
    virtual ~CommLink() = default;

    // 1 when the port is open and replies are being decoded into State().
    virtual int Open(const std::string& port, std::uint32_t baud, std::uint8_t dataBits,
                     std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual void Close() = 0;
    virtual int IsOpen() const = 0;
    // Numbers the frame (NoteFrameSent on State()) and sends it.
    virtual void SendCommand(std::string text) = 0;
    virtual void RenewReplyEvent() = 0;
    virtual LinkState& State() = 0;
    // The OS's reason for the last failed open, or "".
    virtual std::string LastOpenError() const = 0;
    // The next failed open is reported again, even if the last one was
    // (the cradle was gone and has come back).
    virtual void RearmOpenReport() {}
};

// Opens `port` with the cradle's line settings.
inline int OpenCradlePort(CommLink& link, const std::string& port) {
    return link.Open(port, kCradleLine.baud, kCradleLine.dataBits, kCradleLine.stopBits,
                     kCradleLine.parity);
}

}  // namespace sn
