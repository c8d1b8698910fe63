#include "production/serial_sequence.h"

namespace sn {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::optional<std::string> NextSerial(const std::string& serial) {
    std::size_t end = serial.size();
    while (end > 0 && !IsDigit(serial[end - 1])) {
        --end;
    }
    if (end == 0) {
        return std::nullopt;
    }
    std::string next = serial;
    for (std::size_t i = end; i > 0 && IsDigit(next[i - 1]); --i) {
        if (next[i - 1] != '9') {
            ++next[i - 1];
            return next;
        }
        next[i - 1] = '0';
    }
    return std::nullopt;  // every digit of the run was 9
}

bool SerialSequence::Advance() {
    if (Ended()) {
        return false;
    }
    if (const auto next = NextSerial(current_)) {
        current_ = *next;
        return true;
    }
    const bool noDigits = current_.find_first_of("0123456789") == std::string::npos;
    endMessage_ = "The sequence ends at " + current_ +
                  (noDigits ? ": it has no digits to count on."
                            : ": the number after it would need another digit.");
    current_.clear();
    return false;
}

}  // namespace sn
