#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "platform/platform.h"

using platform::AutoResetEvent;

TEST(AutoResetEvent, OneSetWakesOneWaitAndAnotherThreadsSetWakesAnEndlessWait) {
    AutoResetEvent event;
    EXPECT_FALSE(event.Wait(0));  // nothing to wait on yet
    ASSERT_TRUE(event.Create());
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    event.Set();  // not counted
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));

    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(platform::kInfinite));
    setter.join();
}

// A moved-from event that still held its event would close it a second time
// when destroyed, under the new owner's feet.
TEST(AutoResetEvent, MoveTakesThePendingSignalAlongAndLeavesNothingBehind) {
    AutoResetEvent a;
    ASSERT_TRUE(a.Create());
    a.Set();
    AutoResetEvent b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    a.Set();
    EXPECT_FALSE(a.Wait(0));
    EXPECT_TRUE(b.Wait(0));

    AutoResetEvent c;
    ASSERT_TRUE(c.Create());
    b.Set();
    c = std::move(b);
    EXPECT_FALSE(b.IsValid());
    EXPECT_TRUE(c.Wait(0));
    EXPECT_FALSE(c.Wait(0));
    {
        AutoResetEvent gone(std::move(c));
    }
    EXPECT_FALSE(c.IsValid());
    c.Set();
    EXPECT_FALSE(c.Wait(0));
}

TEST(AutoResetEvent, CreateReplacesTheEventHeldWithAFreshOne) {
    AutoResetEvent event;
    ASSERT_TRUE(event.Create());
    event.Set();
    ASSERT_TRUE(event.Create());
    EXPECT_FALSE(event.Wait(0));  // the signal went with the old event
    event.Close();
    EXPECT_FALSE(event.IsValid());
    EXPECT_FALSE(event.Wait(0));
}
