#pragma once
// Parses request frames (PC to pager: 02 70 CMD params CS 03) one byte at a
// time. The pager substitute answers what it parses, and traces and test fakes
// read back what the tool sent. The parameter count follows from the command:
// read block 4 (address, length), write block 4 + the declared length, every
// other command none.

#include <cstdint>
#include <optional>
#include <vector>

namespace sn {

struct Request {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> params;
    std::vector<std::uint8_t> raw;  // the whole frame, STX to ETX
    bool checksumOk = false;

    // Block commands: the address and length fields, high byte first.
    std::uint16_t Address() const;
    std::uint16_t Length() const;
    // Write block: the data bytes after address and length.
    std::vector<std::uint8_t> Data() const;
};

class RequestDecoder {
  public:
    // The largest data part of a write-block request that is accepted; a longer
    // declared length makes the frame be discarded.
    static constexpr std::size_t kMaxWriteData = 512;

    // Feeds one byte; returns the request when this byte completed a frame that
    // ended in ETX (a wrong checksum is reported in checksumOk, not dropped).
    std::optional<Request> Feed(std::uint8_t byte);
    void Reset();

  private:
    enum class Stage { Start, Source, Command, Params, Checksum, End };
    void Discard();
    std::size_t ParamCountSoFar() const;

    Stage stage_ = Stage::Start;
    Request current_;
    std::size_t paramsExpected_ = 0;
};

}  // namespace sn
