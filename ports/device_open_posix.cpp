// The presence test on POSIX: open the device and close it again at once.

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "ports/interface_list_source.h"

namespace sn {

bool DeviceCanBeOpened(const std::string& devicePath) {
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool PortPathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);  // a dangling link counts as absent
}

}  // namespace sn
