#pragma once
// Serial numbers in sequence: the next is the last with its rightmost run of
// digits increased by one, keeping its width (AB12CD0009 -> AB12CD0010).

#include <optional>
#include <string>

namespace sn {

// The number after `serial`, or nothing when its rightmost run of digits
// would overflow (...9999) or it has no digits.
std::optional<std::string> NextSerial(const std::string& serial);

class SerialSequence {
  public:
    explicit SerialSequence(std::string first) : current_(std::move(first)) {}
    // The number to give next; empty once the sequence has ended.
    const std::string& Current() const { return current_; }
    bool Ended() const { return current_.empty(); }
    // Moves on after a number has been used. False when the sequence ends
    // here; EndMessage() then says why.
    bool Advance();
    const std::string& EndMessage() const { return endMessage_; }

  private:
    std::string current_;
    std::string endMessage_;
};

}  // namespace sn
