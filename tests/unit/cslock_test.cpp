#include "task/cslock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// True when another thread can take the lock; `lock` needs a non-zero
// time-out so that a held section makes the other thread give up.
bool FreeForOtherThread(CS_Lock& lock) {
    bool got = false;
    std::thread t([&] {
        got = lock.Lock("probe", 1);
        if (got) lock.Unlock();
    });
    t.join();
    return got;
}

} // namespace

TEST(CSLock, ReentrantLockIsFreeAfterMatchingUnlocks) {
    CS_Lock lock(100);
    ASSERT_TRUE(lock.Lock("t", 1));
    ASSERT_TRUE(lock.Lock("t", 2));
    lock.Unlock();
    // Still held once: another thread gives up.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(FreeForOtherThread(lock));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ("CS_Lock::Lock() Try failed at file probe, line 1\r\n", out);
    lock.Unlock();
    EXPECT_TRUE(FreeForOtherThread(lock));
}

TEST(CSLock, MutualExclusionAcrossThreads) {
    CS_Lock lock(0);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CS_Guard guard(lock, "t", __LINE__);
            ++counter;
        }
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(60000, counter);
}

TEST(CSLock, ZeroTimeoutWaitsAndNeverWritesTheMessage) {
    CS_Lock lock(0);
    lock.Lock("holder", 1);
    std::atomic<bool> entered{false};
    testing::internal::CaptureStdout();
    std::thread waiter([&] {
        lock.Lock("waiter", 2);
        entered = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    lock.Unlock();
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST(CSLock, UnlockAfterGivingUpLeavesTheHoldersSectionAlone) {
    CS_Lock lock(20);
    ASSERT_TRUE(lock.Lock("holder", 1));
    testing::internal::CaptureStdout();
    std::thread other([&] {
        EXPECT_FALSE(lock.Lock("other", 7));
        lock.Unlock();  // not the owner: must not release the holder's section
        EXPECT_FALSE(lock.Lock("other", 8));
    });
    other.join();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("file other, line 7"));
    EXPECT_NE(std::string::npos, out.find("file other, line 8"));
    lock.Unlock();
}

TEST(CSLock, CopiesShareOneSection) {
    CS_Lock* original = new CS_Lock(20);
    CS_Lock copy(*original);
    original->Lock("a", 1);
    std::atomic<bool> got{true};
    testing::internal::CaptureStdout();
    std::thread t([&] { got = copy.Lock("b", 2); });
    t.join();
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(got.load());
    original->Unlock();
    delete original;  // the copy keeps the section alive
    EXPECT_TRUE(copy.Lock("c", 3));
    copy.Unlock();
}
