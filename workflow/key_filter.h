#pragma once
// The serial-number field's key filter: which key-downs reach the field.
// Virtual-key codes are those of the original keyboard layer (0x30-0x39 the
// main digits, 0x41-0x5A the letters, 0x60-0x6A the keypad digits and the
// keypad's multiply key); each face maps its own keys onto them.

#include <string>

namespace sn {

namespace vk {
inline constexpr int kBackspace = 0x08;
inline constexpr int kTab = 0x09;
inline constexpr int kReturn = 0x0D;
inline constexpr int kEscape = 0x1B;
inline constexpr int kSpace = 0x20;
inline constexpr int kEnd = 0x23;
inline constexpr int kHome = 0x24;
inline constexpr int kLeft = 0x25;
inline constexpr int kUp = 0x26;
inline constexpr int kRight = 0x27;
inline constexpr int kDown = 0x28;
inline constexpr int kDelete = 0x2E;
inline constexpr int kDigit0 = 0x30;
inline constexpr int kDigit9 = 0x39;
inline constexpr int kA = 0x41;
inline constexpr int kC = 0x43;
inline constexpr int kV = 0x56;
inline constexpr int kZ = 0x5A;
inline constexpr int kNumpad0 = 0x60;
inline constexpr int kMultiply = 0x6A;
inline constexpr int kSubtract = 0x6D;
inline constexpr int kF1 = 0x70;
inline constexpr int kMinus = 0xBD;
}  // namespace vk

enum class KeyDecision {
    Pass,     // to the field (after the frame's accelerators)
    Consume,  // nothing typed, nothing moved
    Copy,     // consumed; the field copies its selection
    Paste,    // consumed; the clipboard is pasted into the field
};

KeyDecision FilterSerialKey(int virtualKey, bool shift, bool ctrl, bool alt);

}  // namespace sn
