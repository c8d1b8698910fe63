// How a port is named to CreateFile: the device prefix from COM5 on.

#include "ports/win_device_name.h"

#include <gtest/gtest.h>

namespace sn {
namespace {

TEST(WinDeviceNameTest, PortNumbersFromFiveGetTheDevicePrefix) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM4", "COM4"},
        {"COM5", "\\\\.\\COM5"},
        {"COM12", "\\\\.\\COM12"},
        {"COM", "COM"},
        {"CO", "CO"},
        {"COMX7", "COMX7"},
        {"ttyUSB0", "ttyUSB0"},
        {"/tmp/cradle", "/tmp/cradle"},
        {"COM05", "\\\\.\\COM05"},
        {"COM1X", "COM1X"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},
    };
    for (auto [name, opened] : cases) {
        EXPECT_EQ(WinDeviceName(name), opened) << name;
    }
}

}  // namespace
}  // namespace sn
