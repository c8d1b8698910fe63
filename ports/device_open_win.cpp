// The presence test on Windows: open the device and close it again at once.

#include <windows.h>

#include <cctype>

#include "ports/listed_port_source.h"
#include "ports/win_device_name.h"

namespace sn {

std::string WinDeviceName(const std::string& path) {
    unsigned long number = 0;
    for (std::size_t i = 3; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (std::isdigit(c) == 0 || number > 100000) {
            break;
        }
        number = number * 10 + (c - '0');
    }
    return number >= 5 ? "\\\\.\\" + path : path;
}

bool DeviceCanBeOpened(const std::string& path) {
    const HANDLE h = CreateFileA(WinDeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

// A port named as the operator knows it ("COM7", or "\\.\COM7") exists while
// the system maps the name to a device; anything else is a file path.
bool PortPathExists(const std::string& path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) {
        name.erase(0, 4);
    }
    char target[1024] = {};
    if (name.find_first_of("\\/:") == std::string::npos) {
        return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
    }
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A port named on the command line is listed as SetupAPI lists a real bridge.
std::string BridgeFriendlyName(const std::string& name) {
    return std::string(kBridgeDescription) + " (" + name + ")";
}

}  // namespace sn
