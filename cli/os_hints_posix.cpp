#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

#include "cli/os_hints.h"
#include "cli/permission_hint.h"

namespace sn::cli {

namespace {

// Where udev reads rules from; the package puts its rule under /usr/lib.
bool CradleRuleInstalled() {
    constexpr std::array kDirs = {"/etc/udev/rules.d/", "/run/udev/rules.d/",
                                  "/usr/local/lib/udev/rules.d/", "/usr/lib/udev/rules.d/",
                                  "/lib/udev/rules.d/"};
    for (const char* dir : kDirs) {
        if (::access((std::string(dir) + kCradleUdevRule).c_str(), F_OK) == 0) {
            return true;
        }
    }
    return false;
}

bool ProcessHoldsGroup(gid_t gid) {
    if (::getegid() == gid) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

}  // namespace

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::string FixFor(const std::string& path, const std::string& osReason) {
    if (osReason == "Permission denied") {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            return "check the permissions of " + path;
        }
        DeviceAccess access{st.st_mode, st.st_gid, {}, ProcessHoldsGroup(st.st_gid)};
        if (const group* g = ::getgrgid(st.st_gid); g != nullptr) {
            access.groupName = g->gr_name;
        }
        return PermissionFix(path, access, CradleRuleInstalled());
    }
    if (osReason == "Device or resource busy") {
        return "another program holds " + path + "; close it and try again";
    }
    if (osReason == "No such file or directory") {
        return path + " does not exist; is the cradle plugged in?";
    }
    return "";
}

}  // namespace sn::cli
