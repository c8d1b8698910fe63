#include "serial/rx_queue.h"

#include <gtest/gtest.h>

namespace sn {
namespace {

TEST(CRxQueueTest, HoldsOneLessThanItsSize) {
    CRxQueue q;
    EXPECT_EQ(q.Count(), 0);
    for (int i = 0; i < CRxQueue::kSize - 1; ++i) {
        ASSERT_EQ(q.Put(static_cast<std::uint8_t>(i)), 1) << i;
    }
    EXPECT_EQ(q.Count(), 10599);
    EXPECT_EQ(q.Put(0xAA), 0);
    EXPECT_EQ(q.Count(), 10599);
    q.Clear();
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Put(1), 1);
    EXPECT_EQ(q.Count(), 1);
}

}  // namespace
}  // namespace sn
