#include <windows.h>

#include "cli/os_hints.h"

namespace sn::cli {

bool StdoutIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

namespace {

// "\\.\COM12" is COM12 to the operator.
std::string OperatorName(const std::string& devicePath) {
    return devicePath.rfind("\\\\.\\", 0) == 0 ? devicePath.substr(4) : devicePath;
}

}  // namespace

std::string FixFor(const std::string& devicePath, const std::string& osReason) {
    const std::string name = OperatorName(devicePath);
    if (osReason == "Access is denied.") {
        return "another program holds " + name + "; close it and try again";
    }
    if (osReason == "The system cannot find the file specified." ||
        osReason == "The system cannot find the path specified.") {
        return name + " does not exist; is the cradle plugged in? (sntool ports lists the ports)";
    }
    return "";
}

}  // namespace sn::cli
