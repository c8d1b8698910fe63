#include "protocol/reply_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace sn {
namespace {

using namespace std::chrono_literals;

TEST(AutoResetEventTest, SignalStaysUntilOneWaitConsumesIt) {
    AutoResetEvent e;
    EXPECT_FALSE(e.Wait(0ms));
    e.Set();
    e.Set();  // not counted: one signal
    EXPECT_TRUE(e.Wait(0ms));
    EXPECT_FALSE(e.Wait(0ms));
}

TEST(AutoResetEventTest, WakesAWaiterOnAnotherThread) {
    AutoResetEvent e;
    std::thread setter([&] {
        std::this_thread::sleep_for(10ms);
        e.Set();
    });
    EXPECT_TRUE(e.Wait(10s));
    setter.join();
}

TEST(ReplyEventSlotTest, RenewDropsAPendingSignal) {
    ReplyEventSlot slot;
    slot.Set();
    slot.Renew();
    EXPECT_FALSE(slot.Wait(0ms));
}

TEST(ReplyEventSlotTest, ReplacedEventIsReleasedOnceNobodyHoldsIt) {
    ReplyEventSlot slot;
    std::weak_ptr<AutoResetEvent> first = slot.Current();
    std::shared_ptr<AutoResetEvent> held = slot.Current();
    slot.Renew();
    EXPECT_FALSE(first.expired());  // a waiter still holds it
    held.reset();
    EXPECT_TRUE(first.expired());
    for (int i = 0; i < 1000; ++i) {
        slot.Renew();
    }
    EXPECT_EQ(slot.Current().use_count(), 2);  // the slot and this expression
}

// A waiter keeps the event it started waiting on even when the slot is
// renewed meanwhile: it is neither freed under the waiter nor woken by it.
TEST(ReplyEventSlotTest, RenewWhileWaitingIsSafe) {
    ReplyEventSlot slot;
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        EXPECT_FALSE(slot.Wait(50ms));
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i) {
        slot.Renew();
        std::this_thread::sleep_for(1ms);
    }
    waiter.join();
}

}  // namespace
}  // namespace sn
