#pragma once
// Serial numbers in sequence: the next is the last with its rightmost run of
// digits increased by one, keeping its width (AB12CD0009 -> AB12CD0010).

#include <optional>
#include <string>

#include "protocol/serial.h"

namespace sn {

// The number after `serial`, or nothing when its rightmost run of digits
// would overflow (...9999) or it has no digits.
std::optional<Serial> NextSerial(const Serial& serial);
// Why a sequence ends at `last`, the number NextSerial finds none after.
std::string SequenceEndMessage(const Serial& last);

}  // namespace sn
