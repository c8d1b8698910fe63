// The port rules over a scripted Windows API: all three paths, the defaults,
// the presence test, the errors, and the release of what the walk held.

#include "ports/list_serial_ports.h"

#include "ports/port_report.h"
#include "ports/win_port_api.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_port_source.h"

namespace sn {
namespace {

using testing::RegNode;
using testing::ScriptedInterface;
using testing::ScriptedPortSource;

ScriptedInterface Bridge(std::string friendly, std::string path = "\\\\?\\usb#vid_10c4") {
    return ScriptedInterface{std::move(path), std::move(friendly),
                             "Silicon Labs CP210x USB to UART Bridge", "USB port 1", 0};
}

struct NameCase {
    std::string name;
    std::string friendly;
    bool listed;
    std::string portName;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class BridgeNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(BridgeNameTest, ListsOnlyBridges) {
    const NameCase& c = GetParam();
    ScriptedPortSource source;
    source.interfaces = {Bridge(c.friendly)};
    PortSelection sel;
    sel.cradleMissing = 1;
    PortList ports;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), c.listed ? 1u : 0u);
    EXPECT_EQ(sel.cradleMissing.load(), c.listed ? 0 : 1);
    if (c.listed) {
        EXPECT_EQ(ports[0].portName, c.portName);
        EXPECT_EQ(ports[0].friendlyName, c.friendly);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BridgeNameTest,
    ::testing::Values(
        NameCase{"SiliconLabsWithBlank", "Silicon Labs CP210x USB to UART Bridge (COM12)", true,
                 "COM12"},
        NameCase{"SiliconLabsNoBlank", "Silicon Labs CP210x USB to UART Bridge(COM4)", true,
                 "COM4"},
        NameCase{"ControllerNoBlank", "CP210x USB to UART Bridge Controller(COM3)", true, "COM3"},
        NameCase{"ControllerWithBlank", "CP210x USB to UART Bridge Controller (COM3)", true,
                 "COM3"},
        NameCase{"OtherCase", "silicon labs CP210x USB to UART Bridge (COM4)", false, ""},
        NameCase{"LongerName", "Silicon Labs CP210x USB to UART Bridge X (COM4)", false, ""},
        NameCase{"ShorterName", "CP210x USB to UART Bridge (COM4)", false, ""},
        NameCase{"TwoBlanks", "Silicon Labs CP210x USB to UART Bridge  (COM4)", false, ""},
        NameCase{"NoParenthesis", "Silicon Labs CP210x USB to UART Bridge", false, ""},
        NameCase{"NoClosingParenthesis", "Silicon Labs CP210x USB to UART Bridge (COM5", true, ""},
        NameCase{"EmptyParentheses", "CP210x USB to UART Bridge Controller ()", true, ""},
        NameCase{"OtherDevice", "Communications Port (COM1)", false, ""}),
    [](const auto& info) { return info.param.name; });

TEST(BridgeNameTest, ExactlyTheFourNames) {
    EXPECT_TRUE(IsBridgeName("CP210x USB to UART Bridge Controller "));
    EXPECT_TRUE(IsBridgeName("CP210x USB to UART Bridge Controller"));
    EXPECT_TRUE(IsBridgeName("Silicon Labs CP210x USB to UART Bridge "));
    EXPECT_TRUE(IsBridgeName("Silicon Labs CP210x USB to UART Bridge"));
    EXPECT_FALSE(IsBridgeName(""));
    EXPECT_FALSE(IsBridgeName("CP210X USB to UART Bridge Controller"));
}

TEST(DeviceInterfacePathTest, UnreadablePropertiesSkipTheDevice) {
    ScriptedPortSource source;
    ScriptedInterface noDescription = Bridge("Silicon Labs CP210x USB to UART Bridge (COM3)");
    noDescription.description.reset();
    ScriptedInterface noFriendly = Bridge("");
    noFriendly.friendlyName.reset();
    ScriptedInterface tooLong = Bridge("Silicon Labs CP210x USB to UART Bridge (" +
                                       std::string(250, '7') + ")");  // over 255
    source.interfaces = {noDescription, noFriendly, tooLong};
    PortSelection sel;
    sel.cradleMissing = 1;
    PortList ports;
    ListSerialPorts(ports, 0, source, sel);
    EXPECT_TRUE(ports.empty());
    EXPECT_EQ(sel.cradleMissing.load(), 1);
    EXPECT_EQ(source.setsOpen, 0);
}

TEST(DeviceInterfacePathTest, UsbFlagFromTheLocation) {
    ScriptedPortSource source;
    source.interfaces = {Bridge("Silicon Labs CP210x USB to UART Bridge (COM3)"),
                         Bridge("Silicon Labs CP210x USB to UART Bridge (COM4)"),
                         Bridge("Silicon Labs CP210x USB to UART Bridge (COM5)")};
    source.interfaces[1].location = "usb port 2";
    source.interfaces[2].location.reset();
    PortList ports;
    PortSelection sel;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].isUsb, 1);
    EXPECT_EQ(ports[1].isUsb, 0);
    EXPECT_EQ(ports[2].isUsb, 0);
}

TEST(DeviceInterfacePathTest, NoInterfacesNoErrorAndCradleMissingUnchanged) {
    for (int before : {0, 1}) {
        ScriptedPortSource source;
        PortSelection sel;
        sel.cradleMissing = before;
        PortList ports(3);  // emptied first
        ListSerialPorts(ports, 0, source, sel);
        EXPECT_TRUE(ports.empty());
        EXPECT_EQ(sel.cradleMissing.load(), before);
    }
}

TEST(DeviceInterfacePathTest, TwoBridgesInEnumerationOrderAmongOtherPorts) {
    ScriptedPortSource source;
    source.interfaces = {Bridge("Silicon Labs CP210x USB to UART Bridge (COM9)", "p9"),
                         ScriptedInterface{"p1", "Communications Port (COM1)",
                                           "Communications Port", std::nullopt, 0},
                         Bridge("CP210x USB to UART Bridge Controller (COM3)", "p3")};
    PortList ports;
    PortSelection sel;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].portName, "COM9");
    EXPECT_EQ(ports[0].devicePath, "COM9");  // opened by its COM name, not the interface
    EXPECT_EQ(ports[1].portName, "COM3");
    EXPECT_EQ(ports[1].description, "Silicon Labs CP210x USB to UART Bridge");
}

TEST(PostPassTest, PresenceTestDropsClosedPortsWithoutSkippingAny) {
    ScriptedPortSource source;
    for (const char* p : {"a", "b", "c", "d", "e"}) {
        source.interfaces.push_back(
            Bridge(std::string("Silicon Labs CP210x USB to UART Bridge (") + p + ")", p));
    }
    source.openable = {"a", "d"};
    PortList ports;
    PortSelection sel;
    ListSerialPorts(ports, 1, source, sel);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].devicePath, "a");
    EXPECT_EQ(ports[1].devicePath, "d");
    EXPECT_EQ(source.presenceTested, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    source.presenceTested.clear();
    ListSerialPorts(ports, 0, source, sel);
    EXPECT_EQ(ports.size(), 5u);
    EXPECT_TRUE(source.presenceTested.empty());
}

TEST(NumberedPathTest, SixteenPortsWithoutAsking) {
    ScriptedPortSource source;
    source.version = OsVersion{0, 4, kPlatformNt};
    PortSelection sel;
    sel.cradleMissing = 1;
    PortList ports;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 16u);
    for (int n = 1; n <= 16; ++n) {
        const SSerInfo& p = ports[static_cast<std::size_t>(n - 1)];
        const std::string name = "COM" + std::to_string(n);
        EXPECT_EQ(p.portName, name);
        EXPECT_EQ(p.devicePath, name);
        EXPECT_EQ(p.friendlyName, name);
        EXPECT_EQ(p.description, name);
        EXPECT_EQ(p.isUsb, 0);
    }
    EXPECT_EQ(sel.cradleMissing.load(), 1);
    EXPECT_FALSE(ReportPorts(source)[0].isBridge);  // offered, but not known as a bridge
}

RegNode Instance(std::string key, std::string port, std::string friendly = "") {
    RegNode n{std::move(key), {{"PORTNAME", std::move(port)}}, {}, false};
    if (!friendly.empty()) {
        n.values["FRIENDLYNAME"] = std::move(friendly);
    }
    return n;
}

// A 9x-style hardware tree: COM1 under *PNP0500 and again under USBPORTS.
struct EnumKeyWorld {
    EnumKeyWorld() {
        source.version = OsVersion{0, 4, 1};  // the 9x family
        RegNode pnp0500{"*PNP0500", {}, {Instance("0000", "COM1", "Communications Port (COM1)")}};
        RegNode other{"*PNP0400", {}, {Instance("0000", "LPT1", "Printer Port (LPT1)")}};
        RegNode pnp0501{"*PNP0501", {}, {Instance("0000", "COM2", "(COM2)")}};
        RegNode bios{"BIOS", {}, {pnp0500, other, pnp0501}};
        RegNode usbDev{"VID_10C4", {}, {Instance("0001", "COM1", "USB Port (COM1) A")}};
        RegNode usb{"USBPORTS", {}, {usbDev}};
        source.hklm.children = {RegNode{"Enum", {}, {bios, usb}}};
    }
    RegNode& EnumKey() { return source.hklm.children[0]; }

    ScriptedPortSource source;
    PortSelection sel;
    PortList ports;
};

class EnumKeyPathTest : public ::testing::Test, public EnumKeyWorld {};

TEST_F(EnumKeyPathTest, SecondFindOfAPortOverwritesTheFirstInPlace) {
    sel.cradleMissing = 1;
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].portName, "COM1");
    EXPECT_EQ(ports[0].isUsb, 1);
    EXPECT_EQ(ports[0].friendlyName, "USB Port (COM1) A");
    EXPECT_EQ(ports[0].description, "USB Port (COM1) A");  // ")" is not last: whole
    EXPECT_EQ(ports[0].devicePath, "COM1");
    EXPECT_EQ(ports[1].portName, "COM2");
    EXPECT_EQ(ports[1].description, "(COM2)");  // " (" not after the start: whole
    EXPECT_EQ(sel.cradleMissing.load(), 1);     // this path never clears it
    EXPECT_EQ(source.keysOpen, 0);
}

TEST_F(EnumKeyPathTest, DescriptionCutAndDefaults) {
    EnumKey().children = {RegNode{
        "USBPORTS",
        {},
        {RegNode{"X",
                 {},
                 {
                     Instance("0", "COM7", "Communications Port (COM7)"),
                     Instance("1", "COM8"),
                     Instance("2", "COM9", std::string(128, 'F')),  // too long to read: empty
                     RegNode{"3", {{"FRIENDLYNAME", "no port name"}}, {}, false},
                     Instance(std::string(128, 'K'), "COM10"),  // name too long: the walk ends
                     Instance("5", "COM11"),
                 }}}}};
    ListSerialPorts(ports, 0, source, sel);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].description, "Communications Port");
    EXPECT_EQ(ports[1].friendlyName, "COM8");
    EXPECT_EQ(ports[1].description, "COM8");
    EXPECT_EQ(ports[2].friendlyName, "COM9");
}

TEST_F(EnumKeyPathTest, EachOpenFailureNamesItsKeyAndReleasesEverything) {
    struct Case {
        const char* what;
        std::function<void(RegNode&)> breakIt;
        std::string text;
    };
    const Case cases[] = {
        {"enum", [](RegNode& e) { e.openFails = true; }, "Could not read from HKLM\\Enum"},
        {"class", [](RegNode& e) { e.children[1].openFails = true; },
         "Could not read from HKLM\\Enum\\USBPORTS"},
        {"device", [](RegNode& e) { e.children[0].children[2].openFails = true; },
         "Could not read from HKLM\\Enum\\BIOS\\*PNP0501"},
        {"instance", [](RegNode& e) { e.children[1].children[0].children[0].openFails = true; },
         "Could not read from HKLM\\Enum\\...\\0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EnumKeyWorld fresh;
        c.breakIt(fresh.EnumKey());
        try {
            ListSerialPorts(fresh.ports, 0, fresh.source, fresh.sel);
            ADD_FAILURE() << "no error";
        } catch (const PortListError& e) {
            EXPECT_EQ(std::string(e.what()), c.text);
        }
        EXPECT_EQ(fresh.source.keysOpen, 0);
    }
}

TEST_F(EnumKeyPathTest, NoEnumKeyAtAll) {
    source.hklm.children.clear();
    EXPECT_THROW(ListSerialPorts(ports, 0, source, sel), PortListError);
}

TEST(PortListErrorTest, TextsCarryTheCodeInLowerCaseHex) {
    struct Case {
        const char* what;
        std::function<void(ScriptedPortSource&)> breakIt;
        std::string text;
    };
    const Case cases[] = {
        {"version", [](auto& s) { s.version.error = 0x1F; }, "Could not get OS version. (err=1f)"},
        {"set", [](auto& s) { s.openSetError = 0xD; }, "SetupDiGetClassDevs failed. (err=d)"},
        {"enum",
         [](auto& s) {
             s.enumError = std::pair<std::uint32_t, std::uint32_t>{1, 0xAB};
         },
         "SetupDiEnumDeviceInterfaces failed. (err=ab)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortSource source;
        source.interfaces = {Bridge("Silicon Labs CP210x USB to UART Bridge (COM3)"),
                             Bridge("Silicon Labs CP210x USB to UART Bridge (COM4)")};
        c.breakIt(source);
        PortList ports;
        PortSelection sel;
        try {
            ListSerialPorts(ports, 0, source, sel);
            ADD_FAILURE() << "no error";
        } catch (const PortListError& e) {
            EXPECT_EQ(std::string(e.what()), c.text);
        }
        EXPECT_EQ(source.setsOpen, 0);  // released before the error passed on
    }
}

// One interface whose detail can't be had no longer ends the scan, and a
// device path longer than 256 characters is no failure: neither hides a
// cradle that is present.
TEST(PortListErrorTest, BrokenOrLongDetailHidesNoCradle) {
    struct Case {
        const char* what;
        std::function<void(ScriptedPortSource&)> breakIt;
        bool firstListed;
    };
    const Case cases[] = {
        {"detail fails", [](auto& s) { s.interfaces[0].detailError = 0x57; }, false},
        {"detail too large", [](auto& s) { s.interfaces[0].detailError = 0x7A; }, false},
        {"path of 301",
         [](auto& s) { s.interfaces[0].devicePath = "\\\\?\\usb#" + std::string(300, 'p'); }, true},
        {"path of 256", [](auto& s) { s.interfaces[0].devicePath = std::string(256, 'p'); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortSource source;
        source.interfaces = {Bridge("Silicon Labs CP210x USB to UART Bridge (COM3)"),
                             Bridge("Silicon Labs CP210x USB to UART Bridge (COM4)", "p4")};
        c.breakIt(source);
        PortList ports;
        PortSelection sel;
        sel.cradleMissing = 1;
        ListSerialPorts(ports, 0, source, sel);
        EXPECT_EQ(sel.cradleMissing, 0);
        ASSERT_EQ(ports.size(), c.firstListed ? 2u : 1u);
        EXPECT_EQ(ports.back().portName, "COM4");
        EXPECT_EQ(ports.front().portName, c.firstListed ? "COM3" : "COM4");
        EXPECT_EQ(source.setsOpen, 0);
    }
}

// `sntool ports` also shows the ports the OS names only (SERIALCOMM), once
// each and never as a cradle.
TEST(ReportPortsTest, OtherSerialPortsAreShownOnceAndNeverAsCradle) {
    ScriptedPortSource source;
    source.interfaces = {Bridge("Silicon Labs CP210x USB to UART Bridge (COM3)")};
    source.otherPorts = {"COM1", "COM3", "COM7"};
    const std::vector<PortReport> r = ReportPorts(source);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].portName, "COM3");
    EXPECT_TRUE(r[0].isBridge);
    EXPECT_EQ(r[1].portName, "COM1");
    EXPECT_EQ(r[1].devicePath, "COM1");
    EXPECT_FALSE(r[1].isBridge);
    EXPECT_EQ(r[2].portName, "COM7");
    EXPECT_FALSE(r[2].isBridge);
    EXPECT_EQ(source.setsOpen, 0);
}

}  // namespace
}  // namespace sn
