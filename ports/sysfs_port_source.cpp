// SysfsPortSource: one small helper per property of a tty, each reading one
// sysfs file or link.

#include "ports/sysfs_port_source.h"

#include "ports/system_port_source.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

namespace sn {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// The device behind a tty (the usb-serial port, the UART, ...), resolved.
std::optional<fs::path> DeviceDir(const fs::path& ttyDir) {
    std::error_code ec;
    const fs::path dev = fs::canonical(ttyDir / "device", ec);
    if (ec || !fs::is_directory(dev, ec)) {
        return std::nullopt;
    }
    return dev;
}

// The name of the driver the device is bound to ("cp210x", "ftdi_sio", ...).
std::string DriverName(const fs::path& deviceDir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(deviceDir / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

// The USB device (the folder with idVendor) the port hangs off, if any.
std::optional<fs::path> UsbDeviceDir(fs::path dir) {
    std::error_code ec;
    for (int up = 0; up < 6 && dir.has_relative_path(); ++up, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            return dir;
        }
    }
    return std::nullopt;
}

// 8250-style ports exist in sysfs whether or not a UART answers; type 0 means
// none does.
bool HasNoUart(const fs::path& ttyDir) {
    const auto type = ReadLine(ttyDir / "type");
    return type && *type == "0";
}

// A product string, when the device has a non-empty one.
std::optional<std::string> Product(const fs::path& usbDir) {
    auto text = ReadLine(usbDir / "product");
    return text && !text->empty() ? text : std::nullopt;
}

std::optional<PortRecord> Describe(const fs::path& ttyDir, const std::string& name) {
    const auto deviceDir = DeviceDir(ttyDir);
    if (!deviceDir || HasNoUart(ttyDir)) {
        return std::nullopt;
    }
    PortRecord r;
    r.name = "/dev/" + name;
    r.path = r.name;
    const auto usb = UsbDeviceDir(*deviceDir);
    const std::string driver = DriverName(*deviceDir);
    r.isUsb = usb.has_value();
    r.isBridge = driver == "cp210x";
    if (r.isBridge) {
        r.description = (usb ? Product(*usb) : std::nullopt).value_or(kBridgeDescription);
    } else if (usb) {
        r.description = Product(*usb).value_or(driver.empty() ? "USB Serial Device" : driver);
    } else {
        r.description = "Communications Port";
    }
    r.friendlyName = r.description;
    return r;
}

std::pair<std::string, long> SplitNumber(const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])) != 0) {
        --i;
    }
    const std::string digits = s.substr(i, 9);
    return {s.substr(0, i), digits.empty() ? -1 : std::atol(digits.c_str())};
}

}  // namespace

bool TtyNameLess(const std::string& a, const std::string& b) {
    const auto sa = SplitNumber(a);
    const auto sb = SplitNumber(b);
    return sa != sb ? sa < sb : a < b;
}

SysfsPortSource::SysfsPortSource() {
    const char* env = std::getenv("SNTOOL_SYSFS");
    root_ = env != nullptr && *env != '\0' ? env : "/sys";
}

std::vector<PortRecord> SysfsPortSource::Scan() {
    const fs::path ttyClass = fs::path(root_) / "class" / "tty";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(ttyClass, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), TtyNameLess);
    std::vector<PortRecord> out;
    for (const std::string& name : names) {
        if (auto r = Describe(ttyClass / name, name)) {
            out.push_back(std::move(*r));
        }
    }
    return out;
}

std::unique_ptr<PortSource> MakeSystemPortSource() {
    return std::make_unique<SysfsPortSource>();
}

}  // namespace sn
