// The virtual cradle: a pager numbered in it is swapped for a fresh one.

#include "sim/virtual_cradle.h"

#include <gtest/gtest.h>

#include <thread>

#include "protocol/pager_memory.h"

namespace sn::sim {
namespace {

using namespace std::chrono_literals;

TEST(VirtualCradleTest, WrittenPagerIsSwappedForAFreshOne) {
    VirtualCradle cradle;
    ASSERT_TRUE(cradle.Start("KTN4070C", false)) << cradle.LastError();
    EXPECT_FALSE(cradle.PortPath().empty());
    cradle.EnableSwap(100ms);
    const std::uint8_t mark = 0x01;
    cradle.Pager().WriteMemory(kMarkByteAddress, std::span(&mark, 1));  // as a write leaves it
    bool removed = false;
    for (int i = 0; i < 500 && (cradle.Pager().IsNumbered() || !cradle.Pager().IsSeated()); ++i) {
        removed = removed || !cradle.Pager().IsSeated();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(removed);
    EXPECT_FALSE(cradle.Pager().IsNumbered());
    EXPECT_TRUE(cradle.Pager().IsSeated());
    EXPECT_EQ(cradle.Pager().ModelCode(), "KTN4070C");
}

TEST(VirtualCradleTest, APagerNumberedFromTheStartStays) {
    VirtualCradle cradle;
    ASSERT_TRUE(cradle.Start("KTN4070C", true));
    cradle.EnableSwap(10ms);
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(cradle.Pager().IsNumbered());
    EXPECT_TRUE(cradle.Pager().IsSeated());
}

}  // namespace
}  // namespace sn::sim
