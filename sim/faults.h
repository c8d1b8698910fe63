#pragma once
// Faults the substitute pager can be told to commit, per command and attempt.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace sn::sim {

enum class Fault : std::uint8_t {
    None,             // the normal reply
    Nak,              // a negative acknowledge instead of the reply
    Silence,          // no reply at all
    Split,            // the normal reply in two bursts with a gap between them
    BadChecksum,      // the normal reply with its checksum off by one
    WrongAddress,     // block read: the neighbouring block's address and data
    Noise,            // junk bytes in front of the normal reply, same burst
    AckWithoutStore,  // block write: acknowledged but not stored
    BadLength,        // a data reply whose length field says 2 more than it holds
};

std::string_view FaultName(Fault fault);
std::optional<Fault> ParseFault(std::string_view name);

// Which fault the next request of each command gets: scripted ones first, in
// order, one per request; then the command's standing fault, if any.
class FaultScript {
  public:
    void Script(std::uint8_t command, std::vector<Fault> attempts);
    void SetStanding(std::uint8_t command, Fault fault);  // Fault::None clears it
    void Clear();
    Fault Next(std::uint8_t command);

  private:
    std::map<std::uint8_t, std::deque<Fault>> scripted_;
    std::map<std::uint8_t, Fault> standing_;
};

}  // namespace sn::sim
