#include "IConditionVariable.h"
#include "IMutex.h"
#include "LockGuard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

TEST(LocksTest, MutexIsRecursiveAndExcludesOtherThreads) {
    IMutex mutex;
    std::atomic<bool> otherGotIt{false};
    std::thread other;
    {
        LockGuard outer(mutex);
        LockGuard inner(&mutex); // the owner takes it again
        other = std::thread([&] {
            LockGuard guard(mutex);
            otherGotIt = true;
        });
        std::this_thread::sleep_for(milliseconds(50));
        EXPECT_FALSE(otherGotIt.load());
    }
    other.join();
    EXPECT_TRUE(otherGotIt.load());
}

TEST(LocksTest, NotificationBeforeTheWaitStaysPending) {
    IMutex mutex;
    IConditionVariable cond;
    EXPECT_TRUE(cond.notifyOne());
    LockGuard guard(mutex);
    cond.wait(mutex); // returns at once, consuming it
    // Consumed: the next timed wait runs out.
    EXPECT_TRUE(cond.waitFor(mutex, 20));
    // Two notifications before a wait count as one.
    cond.notifyAll();
    cond.notifyOne();
    EXPECT_FALSE(cond.waitFor(mutex, 1000));
    EXPECT_TRUE(cond.waitFor(mutex, 20));
}

TEST(LocksTest, TimedWaitReportsTimeOutOrNotification) {
    IMutex mutex;
    IConditionVariable cond;
    LockGuard guard(mutex);

    auto start = Clock::now();
    EXPECT_TRUE(cond.waitFor(mutex, 100));
    EXPECT_GE(ElapsedMs(start), 95);

    std::thread notifier([&] {
        std::this_thread::sleep_for(milliseconds(20));
        cond.notifyOne();
    });
    start = Clock::now();
    EXPECT_FALSE(cond.waitFor(mutex, 10000));
    EXPECT_LT(ElapsedMs(start), 5000);
    notifier.join();
}

TEST(LocksTest, WaitGivesUpTheCallersLockWhileItSleeps) {
    IMutex mutex;
    IConditionVariable cond;
    std::atomic<bool> otherLocked{false};
    LockGuard guard(mutex);
    std::thread other([&] {
        LockGuard g(mutex);
        otherLocked = true;
        cond.notifyOne();
    });
    EXPECT_FALSE(cond.waitFor(mutex, 10000));
    EXPECT_TRUE(otherLocked.load());
    other.join();
}

TEST(LocksTest, ReadyWaitReturnsAtOnceOrAfterAQuietPeriod) {
    IMutex mutex;
    IConditionVariable cond;
    LockGuard guard(mutex);
    auto start = Clock::now();
    EXPECT_FALSE(cond.waitFor(mutex, 5000, true));
    EXPECT_LT(ElapsedMs(start), 1000);

    // Notified every 10 ms for about 300 ms: each notification restarts the full 500 ms wait, so the
    // call cannot return before the notifications stop (a notifier held up for half a second on a
    // loaded machine would be needed to end it early).
    std::atomic<bool> stopped{false};
    std::thread notifier([&] {
        for (int i = 0; i < 30; ++i) {
            std::this_thread::sleep_for(milliseconds(10));
            cond.notifyOne();
        }
        stopped = true;
    });
    start = Clock::now();
    EXPECT_TRUE(cond.waitFor(mutex, 500, false));
    EXPECT_TRUE(stopped.load());
    EXPECT_GE(ElapsedMs(start), 800);
    notifier.join();
}

TEST(LocksTest, PredicateWaitEndsWhenTheConditionHolds) {
    IMutex mutex;
    IConditionVariable cond;
    int value = 0; // guarded by mutex
    std::thread producer([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(milliseconds(10));
            LockGuard g(mutex);
            ++value;
            cond.notifyOne();
        }
    });
    {
        LockGuard guard(mutex);
        cond.wait(mutex, [&] { return value == 3; });
        EXPECT_EQ(value, 3);
        // Already true: no wait at all.
        cond.wait(mutex, [] { return true; });
    }
    producer.join();
}

} // namespace
