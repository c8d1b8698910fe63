#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/os_hints.h"
#include "serial/posix_device_path.h"

namespace sn::cli {

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::string FixFor(const std::string& devicePath, const std::string& osReason) {
    const std::string path = PosixDevicePath(devicePath);
    if (osReason == "Permission denied") {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            const group* g = ::getgrgid(st.st_gid);
            if (g != nullptr) {
                const std::string name = g->gr_name;
                return path + " belongs to group '" + name +
                       "': add yourself with 'sudo usermod -aG " + name +
                       " $USER', then log in again";
            }
        }
        return "check the permissions of " + path;
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
