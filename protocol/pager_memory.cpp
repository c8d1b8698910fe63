#include "protocol/pager_memory.h"

namespace sn {

std::string ModelCodeOf(std::span<const std::uint8_t> area) {
    std::string code;
    const std::size_t from = kModelCodeAddress - kInfoAreaStart;
    for (std::size_t i = from; i < area.size() && i < from + kModelCodeMaxLength; ++i) {
        if (area[i] == 0xFF) {
            break;
        }
        code.push_back(static_cast<char>(area[i]));
    }
    return code;
}

char PrintableChar(std::uint8_t byte) {
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

std::string PrintableText(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        text.push_back(PrintableChar(static_cast<std::uint8_t>(c)));
    }
    return text;
}

}  // namespace sn
