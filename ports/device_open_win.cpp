// The presence test on Windows: open the device and close it again at once.

#include <windows.h>

#include "ports/interface_list_source.h"

namespace sn {

bool DeviceCanBeOpened(const std::string& devicePath) {
    const HANDLE h = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
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

}  // namespace sn
