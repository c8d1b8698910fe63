// The Linux sources: a fake sysfs tree, the explicit --port source, and the
// machine's own /sys.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ports/explicit_port_source.h"
#include "ports/list_serial_ports.h"
#include "ports/port_report.h"
#include "ports/sysfs_port_source.h"

namespace sn {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "sntool-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

void WriteFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text << "\n";
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
}

// Lays out a tty the way the kernel does: the class entry links to the tty's
// folder below its device, and the device links to its driver.
void UsbSerialTty(const fs::path& root, const std::string& usbDev, const std::string& tty,
                  const std::string& driver, const std::string& product) {
    const fs::path dev = root / "devices/pci0000:00/usb1" / usbDev;
    WriteFile(dev / "idVendor", "10c4");
    if (!product.empty()) {
        WriteFile(dev / "product", product);
    }
    const fs::path port = dev / (usbDev + ":1.0") / tty;
    fs::create_directories(port / "tty" / tty);
    fs::create_directories(root / "bus/usb-serial/drivers" / driver);
    Link(port / "driver", fs::relative(root / "bus/usb-serial/drivers" / driver, port));
    Link(port / "tty" / tty / "device", "../../../" + tty);
    Link(root / "class/tty" / tty, fs::relative(port / "tty" / tty, root / "class/tty"));
}

void PlatformTty(const fs::path& root, const std::string& tty, const std::string& type) {
    const fs::path dir = root / "devices/platform/serial8250/tty" / tty;
    fs::create_directories(dir);
    WriteFile(dir / "type", type);
    Link(dir / "device", "../../../serial8250");
    Link(root / "class/tty" / tty, fs::relative(dir, root / "class/tty"));
}

class FakeSysfsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path& r = tmp.path();
        UsbSerialTty(r, "1-1", "ttyUSB0", "cp210x", "CP2102 USB to UART Bridge Controller");
        UsbSerialTty(r, "1-2", "ttyUSB1", "ftdi_sio", "FT232R USB UART");
        UsbSerialTty(r, "1-3", "ttyUSB10", "cp210x", "");  // an OEM cable, no product string
        PlatformTty(r, "ttyS0", "4");
        PlatformTty(r, "ttyS1", "0");  // no UART behind it
        fs::create_directories(r / "devices/virtual/tty/tty0");
        Link(r / "class/tty/tty0", "../../devices/virtual/tty/tty0");  // no device
        Link(r / "class/tty/ttyUSB9", "../../devices/gone/ttyUSB9");   // broken
    }
    TempDir tmp;
};

TEST_F(FakeSysfsTest, EveryPortByItsDevicePathWithItsOwnDescription) {
    SysfsPortSource source(tmp.path().string());
    const auto found = source.Scan();
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "/dev/ttyS0");
    EXPECT_EQ(found[0].description, "Communications Port");
    EXPECT_FALSE(found[0].isUsb);
    EXPECT_FALSE(found[0].isBridge);
    EXPECT_EQ(found[1].name, "/dev/ttyUSB0");
    EXPECT_EQ(found[1].path, "/dev/ttyUSB0");
    EXPECT_EQ(found[1].description, "CP2102 USB to UART Bridge Controller");
    EXPECT_TRUE(found[1].isUsb);
    EXPECT_TRUE(found[1].isBridge);
    EXPECT_EQ(found[2].description, "FT232R USB UART");
    EXPECT_FALSE(found[2].isBridge);
    EXPECT_EQ(found[3].name, "/dev/ttyUSB10");
    EXPECT_EQ(found[3].description, "Silicon Labs CP210x USB to UART Bridge");
    EXPECT_TRUE(found[3].isBridge);
    // What `sntool ports` shows: the port, and what the device calls itself.
    const auto report = ReportPorts(source);
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[1].portName, "/dev/ttyUSB0");
    EXPECT_TRUE(report[1].isBridge);
    EXPECT_EQ(report[1].friendlyName, "CP2102 USB to UART Bridge Controller");
    EXPECT_EQ(report[2].friendlyName, "FT232R USB UART");
}

TEST_F(FakeSysfsTest, ListsTheBridgesOnly) {
    SysfsPortSource source(tmp.path().string());
    PortSelection sel;
    sel.cradleMissing = 1;
    PortList ports;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].portName, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].isUsb, 1);
    EXPECT_EQ(ports[1].portName, "/dev/ttyUSB10");
    EXPECT_EQ(sel.cradleMissing.load(), 0);
}

TEST_F(FakeSysfsTest, RootFromTheEnvironment) {
    ::setenv("SNTOOL_SYSFS", tmp.path().c_str(), 1);
    SysfsPortSource source;
    ::unsetenv("SNTOOL_SYSFS");
    EXPECT_EQ(source.Root(), tmp.path().string());
    EXPECT_EQ(source.Scan().size(), 4u);
}

TEST(SysfsSourceTest, MissingTreeIsEmptyNotAnError) {
    SysfsPortSource source("/nonexistent/sysfs");
    PortList ports;
    PortSelection sel;
    sel.cradleMissing = 1;
    ListSerialPorts(ports, 0, source, sel);
    EXPECT_TRUE(ports.empty());
    EXPECT_EQ(sel.cradleMissing.load(), 1);
}

TEST(SysfsSourceTest, ThisMachineListsWithoutError) {
    SysfsPortSource source("/sys");
    PortList ports;
    PortSelection sel;
    EXPECT_NO_THROW(ListSerialPorts(ports, 0, source, sel));
}

TEST(SysfsSourceTest, NaturalOrderOfNames) {
    EXPECT_TRUE(TtyNameLess("ttyS2", "ttyS10"));
    EXPECT_TRUE(TtyNameLess("ttyACM0", "ttyS0"));
    EXPECT_FALSE(TtyNameLess("ttyUSB10", "ttyUSB9"));
}

TEST(ExplicitPortSourceTest, PresentWhilePathExists) {
    TempDir tmp;
    const fs::path target = tmp.path() / "pts";
    WriteFile(target, "");
    const fs::path link = tmp.path() / "cradle";
    ExplicitPortSource source(link.string());
    PortSelection sel;
    PortList ports;
    auto scan = [&] {
        sel.cradleMissing = 1;
        ListSerialPorts(ports, 0, source, sel);
        return ports.size();
    };
    EXPECT_EQ(scan(), 0u);
    EXPECT_EQ(sel.cradleMissing.load(), 1);
    fs::create_symlink(target, link);  // plug in
    ASSERT_EQ(scan(), 1u);
    EXPECT_EQ(sel.cradleMissing.load(), 0);
    EXPECT_EQ(ports[0].portName, link.string());
    EXPECT_EQ(ports[0].devicePath, link.string());
    fs::remove(target);  // a dangling link is as good as none
    EXPECT_EQ(scan(), 0u);
    WriteFile(target, "");
    EXPECT_EQ(scan(), 1u);
    fs::remove(link);  // unplug
    EXPECT_EQ(scan(), 0u);
}

}  // namespace
}  // namespace sn
