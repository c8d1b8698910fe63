#pragma once
// Advice for a port that could not be opened for lack of permission, from the
// device node's mode and group alone, so that it can be tried on any node.

#include <string>

namespace sn::cli {

// The udev rule of the sntool package; it lets the person at the desk open
// the cradle's CP210x bridge.
inline constexpr const char* kCradleUdevRule = "60-sntool-cradle.rules";

struct DeviceAccess {
    unsigned mode = 0;           // st_mode of the device node
    unsigned gid = 0;            // its group
    std::string groupName;       // "" when the group has no name
    bool heldByProcess = false;  // the process already has the group
};

// Joining the device's group is suggested only where that group may read and
// write the device, is not root's or tty's, and is not held already;
// otherwise only the udev rule helps.
std::string PermissionFix(const std::string& devicePath, const DeviceAccess& access,
                          bool udevRuleInstalled);

}  // namespace sn::cli
