#pragma once
// A Win32 handle owned by one object and closed once. Windows files only.

#include <windows.h>

#include <string>

namespace sn {

class WinHandle {
  public:
    WinHandle() = default;
    explicit WinHandle(HANDLE h) { Reset(h); }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;
    ~WinHandle() { Reset(); }

    // Takes `h` (null and INVALID_HANDLE_VALUE both mean none); true when it is one.
    bool Reset(HANDLE h = nullptr) {
        if (h_ != nullptr) {
            CloseHandle(h_);
        }
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
        return h_ != nullptr;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HANDLE h_ = nullptr;
};

// The system's words for an error code, such as "Access is denied.".
std::string WinErrorText(DWORD error);

}  // namespace sn
