// The presence test on POSIX: open the device and close it again at once.

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "ports/listed_port_source.h"

namespace sn {

bool DeviceCanBeOpened(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
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

// Nothing here gives ports friendly names: the description says it all.
std::string BridgeFriendlyName(const std::string&) {
    return kBridgeDescription;
}

}  // namespace sn
