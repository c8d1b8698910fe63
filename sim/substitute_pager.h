#pragma once
// The substitute pager: a model of the Corvel pager in its cradle, good enough
// to drive every path of the tool. It keeps a 16 KiB memory image, answers
// request frames with reply frames, stores written blocks, logs what it
// received and commits scripted faults.
//
// It is a byte stream: Receive() takes whatever bytes arrived and returns the
// reply bursts to send back, so it runs in-process or behind a pseudo-terminal.
//
// Threads: see docs/threads.md (the substitute pager).

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/request_decoder.h"
#include "sim/faults.h"

namespace sn::sim {

struct ReplyBurst {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds gapBefore{0};  // quiet time before this burst
    std::size_t requestSize = 0;             // bytes of the request answered (first burst only)
};

// What sets the status reply's has-serial bit (0x40). Pagers may derive it
// from the mark byte or latch it only when a write is finished; the tool has
// to cope with both, so the substitute plays either.
enum class SerialBit {
    FromMarkByte,   // set whenever the mark byte (0x013F) is 0x01
    OnWriteFinish,  // set by a write-finish taken while the mark byte is 0x01
};

struct LoggedRequest {
    std::chrono::nanoseconds at{0};  // the time passed to Receive()
    Request request;
    Fault fault = Fault::None;
};

class SubstitutePager {
  public:
    static constexpr std::size_t kMemorySize = 16 * 1024;
    // Not one of the models whose serial number may not be set.
    static constexpr std::string_view kDefaultModel = "KTN4070C";
    static constexpr std::string_view kSerialWhenNumbered = "SIM0000001";

    SubstitutePager();

    // The pager's shape. Each setter keeps the information area's checksum and
    // its mirror consistent, as a pager from the factory has them.
    void SetModelCode(std::string_view code);
    std::string ModelCode() const;
    // The pager holds a serial number when its mark byte (0x013F) is 0x01,
    // which is what the tool's write sets; its status reply then has bit 0x40,
    // at once or, with SerialBit::OnWriteFinish, from the next write-finish.
    // SetNumbered() and Reset() leave the bit as the factory would: set for a
    // numbered pager, clear for a fresh one, in either mode.
    void SetNumbered(bool numbered);
    bool IsNumbered() const;
    // Kept across Reset(): it is the kind of pager, not its state.
    void SetSerialBit(SerialBit mode);
    // Replaces the status reply's first data byte (nullopt: derive from memory).
    void SetStatusByteOverride(std::optional<std::uint8_t> value);
    // An unseated pager answers nothing.
    void SetSeated(bool seated);
    bool IsSeated() const;
    // A pager turned back into a fresh, unnumbered one of the default model.
    void Reset();

    std::vector<std::uint8_t> ReadMemory(std::uint16_t address, std::size_t length) const;
    void WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes);
    // Recomputes 0x015F over 0x0100-0x015E and copies the area to its mirror.
    void RefreshInfoArea();

    void ScriptFaults(std::uint8_t command, std::vector<Fault> attempts);
    void SetStandingFault(std::uint8_t command, Fault fault);
    void ClearFaults();
    void SetSplitGap(std::chrono::milliseconds gap);

    std::vector<ReplyBurst> Receive(std::span<const std::uint8_t> bytes,
                                    std::chrono::nanoseconds now);

    std::vector<LoggedRequest> Log() const;
    std::size_t RequestCount(std::uint8_t command) const;
    void ClearLog();

  private:
    void InitMemory();
    void RefreshInfoAreaLocked();
    std::vector<std::uint8_t> NormalReply(const Request& req, Fault fault);
    std::vector<std::uint8_t> ReadBlockReply(const Request& req, Fault fault) const;
    std::vector<std::uint8_t> WriteBlockReply(const Request& req, Fault fault);
    std::vector<ReplyBurst> Answer(const Request& req, Fault fault);
    bool InRange(std::size_t address, std::size_t length) const;

    mutable std::mutex mutex_;
    std::vector<std::uint8_t> memory_;
    std::optional<std::uint8_t> statusOverride_;
    SerialBit serialBit_ = SerialBit::FromMarkByte;
    // Kept in both modes, so that a mode switched mid-run finds it true.
    bool finishedNumbered_ = false;
    bool seated_ = true;
    FaultScript faults_;
    RequestDecoder decoder_;
    std::vector<LoggedRequest> log_;
    std::chrono::milliseconds splitGap_{40};
};

}  // namespace sn::sim
