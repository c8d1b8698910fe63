#include "ports/friendly_name.h"

namespace sn {

ParsedFriendlyName ParseFriendlyName(const std::string& name) {
    const auto a = name.find('(');
    if (a == std::string::npos) {
        return {};
    }
    const auto b = name.find(')');
    // A ")" missing or before the "(" gives a negative count: an empty name.
    const long count =
        (b == std::string::npos ? -1L : static_cast<long>(b)) - static_cast<long>(a) - 1;
    ParsedFriendlyName parsed{name.substr(0, a), {}, true};
    if (count > 0) {
        parsed.port = name.substr(a + 1, static_cast<std::size_t>(count));
    }
    return parsed;
}

}  // namespace sn
