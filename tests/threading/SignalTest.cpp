#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "support/Stopwatch.h"
#include "threading/FlagSignal.h"

namespace vosk {
namespace {

using test::Eventually;
using test::kEarlyMs;
using test::kPromptMs;
using test::Stopwatch;

constexpr int32_t kTimeout = 258;

TEST(NullSignal, IsAlwaysSignalled) {
    NullSignal signal;
    EXPECT_EQ(signal.Set(), 0);
    EXPECT_EQ(signal.Reset(), 0);
    Stopwatch watch;
    for (int32_t timeout : {0, 100, 5000, -1}) {
        EXPECT_EQ(signal.Wait(timeout), 0) << timeout;
    }
    EXPECT_LT(watch.Ms(), kPromptMs);
}

TEST(FlagSignal, SetAndResetFollowTheFlag) {
    FlagSignal signal;
    EXPECT_EQ(signal.Wait(0), kTimeout) << "created clear";
    EXPECT_NE(signal.Set(), 0);
    EXPECT_EQ(signal.Set(), 0) << "second Set on a set signal";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(signal.Wait(0), 0) << "waits pass while the signal stays set";
    }
    EXPECT_EQ(signal.Wait(5000), 0);
    EXPECT_NE(signal.Reset(), 0);
    EXPECT_EQ(signal.Wait(0), kTimeout);
    EXPECT_NE(signal.Reset(), 0) << "resetting a clear signal";
    EXPECT_NE(signal.Set(), 0) << "a Set after a Reset sets again";
    EXPECT_EQ(signal.Wait(0), 0);
}

TEST(FlagSignal, WaitOnAClearSignalTimesOut) {
    FlagSignal signal;
    Stopwatch watch;
    EXPECT_EQ(signal.Wait(100), kTimeout);
    EXPECT_GE(watch.Ms(), 100 - kEarlyMs);
}

TEST(FlagSignal, ResetClearsTheUnusedEvent) {
    FlagSignal signal;
    signal.Set();
    signal.Reset();
    Stopwatch watch;
    EXPECT_EQ(signal.Wait(50), kTimeout);
    EXPECT_GE(watch.Ms(), 50 - kEarlyMs);
}

TEST(FlagSignal, SetReleasesABlockedWaiterAtOnce) {
    FlagSignal signal;
    std::atomic<bool> waiting{false};
    int32_t result = -2;
    int64_t waited = 0;
    std::thread waiter([&] {
        waiting = true;
        Stopwatch watch;
        result = signal.Wait(5000);
        waited = watch.Ms();
    });
    ASSERT_TRUE(Eventually([&] { return waiting.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    signal.Set();
    waiter.join();
    EXPECT_EQ(result, 0);
    EXPECT_LT(waited, kPromptMs);
}

TEST(FlagSignal, OneSetReleasesOneOfTwoWaiters) {
    FlagSignal signal;
    std::atomic<int> waiting{0};
    int32_t results[2] = {-2, -2};
    int64_t waited[2] = {0, 0};
    auto wait = [&](int i) {
        ++waiting;
        Stopwatch watch;
        results[i] = signal.Wait(300);
        waited[i] = watch.Ms();
    };
    std::thread a(wait, 0), b(wait, 1);
    ASSERT_TRUE(Eventually([&] { return waiting == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // both blocked by now
    signal.Set();
    a.join();
    b.join();
    int released = results[0] == 0 ? 0 : 1;
    int other = 1 - released;
    EXPECT_EQ(results[released], 0);
    EXPECT_LT(waited[released], 250);
    EXPECT_EQ(results[other], kTimeout) << "the other waiter is not released";
    EXPECT_GE(waited[other], 300 - kEarlyMs);
}

// The thread that sees the signal set may destroy it at once, while the
// setter is still leaving Set.
TEST(FlagSignal, WaiterMayDestroyItAsSoonAsItIsSet) {
    for (int i = 0; i < 200; ++i) {
        auto signal = std::make_unique<FlagSignal>();
        FlagSignal* raw = signal.get();
        std::thread setter([raw] { raw->Set(); });
        EXPECT_EQ(signal->Wait(-1), 0);
        signal.reset();
        setter.join();
    }
}

TEST(FlagSignal, ConcurrentUseIsSafe) {
    FlagSignal signal;
    std::atomic<bool> stop{false};
    std::atomic<int> passed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&] {
            while (!stop) {
                signal.Set();
                signal.Reset();
            }
        });
        threads.emplace_back([&] {
            while (!stop) {
                if (signal.Wait(1) == 0) {
                    ++passed;
                }
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = true;
    for (auto& t : threads) {
        t.join();
    }
    signal.Set();
    EXPECT_EQ(signal.Wait(0), 0);
}

}  // namespace
}  // namespace vosk
