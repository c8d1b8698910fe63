#include "serial/win_handle.h"

namespace sn {

std::string WinErrorText(DWORD error) {
    char text[512] = {};
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string s(text, n);
    // The system ends its texts with a line break.
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) {
        s.pop_back();
    }
    return s.empty() ? "Windows error " + std::to_string(error) : s;
}

}  // namespace sn
