#include "cli/permission_hint.h"

namespace sn::cli {

namespace {

constexpr unsigned kGroupReadWrite = 060;

// Joining root's group, or tty's (every terminal on the machine), is never
// the way to a serial port.
bool GroupCanBeJoined(const DeviceAccess& access) {
    const std::string& name = access.groupName;
    return (access.mode & kGroupReadWrite) == kGroupReadWrite && access.gid != 0 && !name.empty() &&
           name != "root" && name != "tty" && !access.heldByProcess;
}

std::string RuleAdvice(bool udevRuleInstalled) {
    if (!udevRuleInstalled) {
        return "install the sntool package: its udev rule lets the person at the desk "
               "open the cradle";
    }
    return std::string("the udev rule ") + kCradleUdevRule +
           " lets the person at the desk open the cradle once it is plugged in again (or "
           "after 'sudo udevadm control --reload && sudo udevadm trigger')";
}

}  // namespace

std::string PermissionFix(const std::string& devicePath, const DeviceAccess& access,
                          bool udevRuleInstalled) {
    if (GroupCanBeJoined(access)) {
        return devicePath + " is open to group '" + access.groupName +
               "': join it with 'sudo usermod -aG " + access.groupName +
               " $USER' and log in again; or " + RuleAdvice(udevRuleInstalled);
    }
    return "no group that you could join may read and write " + devicePath + "; " +
           RuleAdvice(udevRuleInstalled);
}

}  // namespace sn::cli
