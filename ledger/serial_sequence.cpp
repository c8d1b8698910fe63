#include "ledger/serial_sequence.h"

namespace sn {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::optional<Serial> NextSerial(const Serial& serial) {
    std::string next = serial.Text();
    std::size_t end = next.size();
    while (end > 0 && !IsDigit(next[end - 1])) {
        --end;
    }
    for (std::size_t i = end; i > 0 && IsDigit(next[i - 1]); --i) {
        if (next[i - 1] != '9') {
            ++next[i - 1];
            return Serial::Parse(next);
        }
        next[i - 1] = '0';
    }
    return std::nullopt;  // no digits, or every digit of the run was 9
}

std::string SequenceEndMessage(const Serial& last) {
    const bool noDigits = last.Text().find_first_of("0123456789") == std::string::npos;
    return "The sequence ends at " + last.Text() +
           (noDigits ? ": it has no digits to count on."
                     : ": the number after it would need another digit.");
}

}  // namespace sn
