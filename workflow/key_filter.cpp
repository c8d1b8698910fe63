#include "workflow/key_filter.h"

namespace sn {

KeyDecision FilterSerialKey(int key, bool shift, bool ctrl, bool alt) {
    if (key == vk::kLeft || key == vk::kRight || key == vk::kDelete) {
        return KeyDecision::Pass;
    }
    if (key == vk::kSpace) {
        return KeyDecision::Consume;
    }
    if (key == vk::kBackspace) {
        return KeyDecision::Pass;
    }
    if (key >= vk::kDigit0 && key <= vk::kDigit9) {
        return shift ? KeyDecision::Consume : KeyDecision::Pass;  // no !"#$%...
    }
    if (key >= vk::kNumpad0 && key <= vk::kMultiply) {
        return KeyDecision::Pass;
    }
    if (key < vk::kA || key > vk::kZ) {
        return KeyDecision::Consume;
    }
    if (ctrl && !shift && !alt) {
        if (key == vk::kC) {
            return KeyDecision::Copy;
        }
        if (key == vk::kV) {
            return KeyDecision::Paste;
        }
        return KeyDecision::Consume;
    }
    return KeyDecision::Pass;
}

}  // namespace sn
