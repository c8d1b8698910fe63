#pragma once
// What JournalFile's two OS sides share: the words for an append that wrote
// fewer bytes than it had, so that a full disk reads the same on every station.

#include <cstddef>
#include <string>

namespace sn::detail {

inline std::string ShortWriteReason(std::size_t written, std::size_t wanted) {
    return "only " + std::to_string(written) + " of " + std::to_string(wanted) +
           " bytes could be written (is the disk full?)";
}

}  // namespace sn::detail
