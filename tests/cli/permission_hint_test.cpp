#include "cli/permission_hint.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/os_hints.h"

namespace sn::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr unsigned kCharDevice = S_IFCHR;

struct HintCase {
    const char* name;
    DeviceAccess access;
    bool ruleInstalled;
    const char* joinAdvice;  // nullptr: no group may be suggested
};

class PermissionHintTest : public ::testing::TestWithParam<HintCase> {};

TEST_P(PermissionHintTest, SuggestsOnlyAGroupThatGivesAccess) {
    const HintCase& c = GetParam();
    const std::string fix = PermissionFix("/dev/ttyUSB0", c.access, c.ruleInstalled);
    if (c.joinAdvice != nullptr) {
        EXPECT_THAT(fix, HasSubstr(c.joinAdvice));
    } else {
        EXPECT_THAT(fix, Not(HasSubstr("usermod")));
        EXPECT_THAT(fix, HasSubstr("no group that you could join may read and write /dev/ttyUSB0"));
    }
    if (c.ruleInstalled) {
        EXPECT_THAT(fix, HasSubstr("60-sntool-cradle.rules"));
        EXPECT_THAT(fix, HasSubstr("'sudo udevadm control --reload && sudo udevadm trigger'"));
    } else {
        EXPECT_THAT(fix, HasSubstr("install the sntool package: its udev rule"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PermissionHintTest,
    ::testing::Values(
        HintCase{"OwnerOnlyRootGroup", {kCharDevice | 0600, 0, "root"}, false, nullptr},
        HintCase{"OwnerOnlyRootGroupRuleInstalled", {kCharDevice | 0600, 0, "root"}, true, nullptr},
        HintCase{"RootGroupReadWrite", {kCharDevice | 0660, 0, "root"}, false, nullptr},
        HintCase{"DialoutReadWrite",
                 {kCharDevice | 0660, 20, "dialout"},
                 false,
                 "/dev/ttyUSB0 is open to group 'dialout': join it with "
                 "'sudo usermod -aG dialout $USER' and log in again"},
        HintCase{"DialoutReadWriteRuleInstalled",
                 {kCharDevice | 0660, 20, "dialout"},
                 true,
                 "'sudo usermod -aG dialout $USER'"},
        HintCase{"DialoutReadOnly", {kCharDevice | 0640, 20, "dialout"}, false, nullptr},
        HintCase{"DialoutWriteOnly", {kCharDevice | 0620, 20, "dialout"}, false, nullptr},
        HintCase{"DialoutAlreadyHeld", {kCharDevice | 0660, 20, "dialout", true}, true, nullptr},
        HintCase{"TtyGroup", {kCharDevice | 0660, 5, "tty"}, false, nullptr},
        HintCase{"UnnamedGroup", {kCharDevice | 0660, 4321, ""}, false, nullptr},
        HintCase{"GroupNamedRootWithOtherId", {kCharDevice | 0660, 77, "root"}, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// FixFor reads the node itself: a node only its owner may open never leads to
// a group, whoever runs the test.
TEST(FixForTest, OwnerOnlyNodeSuggestsNoGroup) {
    const auto path =
        std::filesystem::temp_directory_path() / ("sntool-hint-node-" + std::to_string(::getpid()));
    std::ofstream(path).put('x');
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string fix = FixFor(path.string(), "Permission denied");
    std::filesystem::remove(path);
    EXPECT_THAT(fix, Not(HasSubstr("usermod")));
    EXPECT_THAT(fix, HasSubstr("udev rule"));
}

}  // namespace
}  // namespace sn::cli
